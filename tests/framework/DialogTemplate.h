// An in-memory dialog template for the dialog tests.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

// Builds an in-memory DLGTEMPLATE with its items, aligned as the dialog manager reads them.
class CDialogTemplate
{
public:
    CDialogTemplate(DWORD style, short cx, short cy, const wchar_t* caption = L"")
    {
        DLGTEMPLATE header{};
        header.style = style | DS_SETFONT;
        header.cx = cx;
        header.cy = cy;
        Append(&header, sizeof(header));
        Word(0); // menu
        Word(0); // class
        Text(caption);
        Word(8);
        Text(L"MS Shell Dlg");
    }

    // classAtom: 0x80 button, 0x81 edit, 0x82 static, 0x85 combo box; or a class name.
    CDialogTemplate& Item(WORD classAtom, WORD id, DWORD style, const wchar_t* text = L"",
                          short x = 0, short y = 0, short cx = 40, short cy = 12)
    {
        ItemHeader(id, style, x, y, cx, cy);
        Word(0xFFFF);
        Word(classAtom);
        Finish(text);
        return *this;
    }
    CDialogTemplate& Item(const wchar_t* className, WORD id, DWORD style, const wchar_t* text = L"")
    {
        ItemHeader(id, style, 0, 0, 40, 12);
        Text(className);
        Finish(text);
        return *this;
    }

    const DLGTEMPLATE* Get() const { return reinterpret_cast<const DLGTEMPLATE*>(m_words.data()); }

private:
    void ItemHeader(WORD id, DWORD style, short x, short y, short cx, short cy)
    {
        if (m_words.size() % 2 != 0)
            Word(0); // DWORD alignment
        DLGITEMTEMPLATE item{};
        item.style = style | WS_CHILD | WS_VISIBLE;
        item.x = x;
        item.y = y;
        item.cx = cx;
        item.cy = cy;
        item.id = id;
        Append(&item, sizeof(item));
        ++reinterpret_cast<DLGTEMPLATE*>(m_words.data())->cdit;
    }
    void Finish(const wchar_t* text)
    {
        Text(text);
        Word(0); // no creation data
    }
    void Append(const void* data, size_t bytes)
    {
        const auto* words = static_cast<const WORD*>(data);
        m_words.insert(m_words.end(), words, words + bytes / sizeof(WORD));
    }
    void Word(WORD value) { m_words.push_back(value); }
    void Text(const wchar_t* text)
    {
        for (; *text != L'\0'; ++text)
            Word(static_cast<WORD>(*text));
        Word(0);
    }

    std::vector<WORD> m_words; // WORD storage keeps the start DWORD-aligned enough for the loader
};
