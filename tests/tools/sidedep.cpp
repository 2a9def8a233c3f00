// A DLL that another test DLL (sideuser) imports: found only beside that DLL.
extern "C" __declspec(dllexport) int SideDepValue()
{
    return 41;
}
