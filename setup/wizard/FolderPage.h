// A page that hands the engine a folder.
#pragma once

#include "framework/WinString.h"

namespace DlgPopup {

// A page that hands the engine a folder (the destination page): the engine reads
// the folder text after the page ended with Next.
class IFolderPage
{
public:
    virtual CString GetFolderText() const = 0;

protected:
    ~IFolderPage() = default;
};

} // namespace DlgPopup
