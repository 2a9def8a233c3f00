// A DLL that needs sidedep.dll, as a package's DLL may need one shipped beside it.
extern "C" __declspec(dllimport) int SideDepValue();

extern "C" __declspec(dllexport) int SideUserValue()
{
    return SideDepValue() + 1;
}
