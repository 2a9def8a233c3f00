#pragma once

#include "common/storage/IFileLoader.h"

namespace Common {
namespace Config {

class CXMLElement;

// The theme's fonts, brushes and images by id. For now it holds none: loading
// succeeds with an empty set.
class CGraphResImpl
{
public:
    virtual ~CGraphResImpl() = default;

    bool Load(const CXMLElement& resources, IFileLoader* loader)
    {
        (void)resources;
        (void)loader;
        return true;
    }
};

} // namespace Config
} // namespace Common
