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

static BOOL CALLBACK language_of(HMODULE, LPCSTR, LPCSTR, WORD l, LONG_PTR p) { return *(WORD *)p = l, TRUE; }
static std::string value(std::vector<char> &block, const char *name)
{
    std::string key = std::string("\\StringFileInfo\\042404E2\\") + name;
    char *text = nullptr;
    UINT len = 0;
    if (!VerQueryValueA(block.data(), key.c_str(), (void **)&text, &len) || !text)
        return "<none>";
    return text;
}

TEST_CASE("Kolvena.exe carries version 1.1 with its product name and description, and its manifest")
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

    // The manifest the loader reads: common controls 6, Vista to 11, and run
    // as invoked: "Virtualization is disabled for ... processes that have a
    // requestedExecutionLevel" (User Account Control, Microsoft Learn).
    HMODULE m = LoadLibraryExA(getenv("KOLVENA_EXE"), NULL, LOAD_LIBRARY_AS_DATAFILE);
    HRSRC r = FindResourceA(m, MAKEINTRESOURCEA(1), RT_MANIFEST);
    REQUIRE(r != NULL);
    std::string xml((const char *)LockResource(LoadResource(m, r)), SizeofResource(m, r));
    for (const char *part : { "\"Microsoft.Windows.Common-Controls\" version=\"6.0.0.0\"",
                              "{e2011457-1546-43c5-a5fe-008deee3d3f0}", "{35138b9a-5d96-4fbd-8e2d-a2440225f93a}",
                              "{4a2f28e3-53b9-4441-ba9c-d69d4a4a6e38}", "{1f676c76-80e1-4239-95bb-83d0f6d0da78}",
                              "{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}",
                              "<requestedExecutionLevel level=\"asInvoker\" uiAccess=\"false\"/>" })
        CHECK(xml.find(part) != std::string::npos);
    WORD lang = 1;   // the neutral language, the one Windows' lookup tries first
    CHECK((EnumResourceLanguagesA(m, RT_MANIFEST, MAKEINTRESOURCEA(1), language_of, (LONG_PTR)&lang) && lang == 0));
    FreeLibrary(m);
}
