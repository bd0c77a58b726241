// The version information of Kolvena.exe, read back as Windows' file
// properties read it.
#include "wintest.h"

#include <stdlib.h>
#include <string>
#include <vector>

static std::vector<char> version_block()
{
    const char *exe = getenv("KOLVENA_EXE");
    REQUIRE(exe != nullptr);
    DWORD handle = 0;
    DWORD size = GetFileVersionInfoSizeA(exe, &handle);
    REQUIRE(size > 0);
    std::vector<char> block(size);
    REQUIRE(GetFileVersionInfoA(exe, 0, size, block.data()));
    return block;
}

static std::string value(std::vector<char> &block, const char *name)
{
    std::string key = std::string("\\StringFileInfo\\042404E2\\") + name;
    char *text = nullptr;
    UINT len = 0;
    if (!VerQueryValueA(block.data(), key.c_str(), (void **)&text, &len) || !text)
        return "<none>";
    return text;
}

TEST_CASE("Kolvena.exe carries version 1.1 with its product name and description")
{
    std::vector<char> block = version_block();

    VS_FIXEDFILEINFO *fixed = nullptr;
    UINT len = 0;
    REQUIRE(VerQueryValueA(block.data(), "\\", (void **)&fixed, &len));
    REQUIRE(fixed != nullptr);
    CHECK(fixed->dwSignature == 0xFEEF04BD);
    CHECK(fixed->dwFileVersionMS == MAKELONG(1, 1));
    CHECK(fixed->dwFileVersionLS == 0);
    CHECK(fixed->dwProductVersionMS == MAKELONG(1, 1));
    CHECK(fixed->dwFileType == VFT_APP);

    struct { WORD lang, cp; } *tr = nullptr;
    REQUIRE(VerQueryValueA(block.data(), "\\VarFileInfo\\Translation", (void **)&tr, &len));
    REQUIRE(len >= 4);
    CHECK(tr->lang == 0x0424);
    CHECK(tr->cp == 1250);

    CHECK(value(block, "ProductName") == "Kolvena");
    CHECK(value(block, "FileVersion") == "1.1");
    CHECK(value(block, "ProductVersion") == "1.1");
    CHECK(value(block, "OriginalFilename") == "Kolvena.exe");
    CHECK(value(block, "FileDescription").find("zaganjalnik") != std::string::npos);
}
