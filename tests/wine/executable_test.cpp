// The shipped executable itself: 64-bit GUI program that needs nothing but system DLLs.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <cctype>
#include <cstring>
#include <fstream>
#include <iterator>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "game_driver.h"

namespace {

// Import table of a PE32+ file: DLL name (upper case) -> imported function names.
struct Image {
  WORD machine = 0;
  WORD subsystem = 0;
  std::map<std::string, std::set<std::string>> imports;
};

Image readImage(const std::wstring& path) {
  Image image;
  std::vector<char> bytes;
  {
    FILE* f = _wfopen(path.c_str(), L"rb");
    if (!f) return image;
    char chunk[65536];
    size_t n;
    while ((n = std::fread(chunk, 1, sizeof chunk, f)) > 0)
      bytes.insert(bytes.end(), chunk, chunk + n);
    std::fclose(f);
  }
  auto at = [&](size_t offset) { return bytes.data() + offset; };
  const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(at(0));
  const auto* nt =
      reinterpret_cast<const IMAGE_NT_HEADERS64*>(at(static_cast<size_t>(dos->e_lfanew)));
  image.machine = nt->FileHeader.Machine;
  image.subsystem = nt->OptionalHeader.Subsystem;
  const IMAGE_SECTION_HEADER* sections = IMAGE_FIRST_SECTION(nt);
  auto fileOffset = [&](DWORD rva) -> size_t {
    for (WORD i = 0; i < nt->FileHeader.NumberOfSections; ++i) {
      const IMAGE_SECTION_HEADER& s = sections[i];
      if (rva >= s.VirtualAddress && rva < s.VirtualAddress + s.Misc.VirtualSize)
        return rva - s.VirtualAddress + s.PointerToRawData;
    }
    return 0;
  };
  const DWORD importRva =
      nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT].VirtualAddress;
  for (auto* d = reinterpret_cast<const IMAGE_IMPORT_DESCRIPTOR*>(at(fileOffset(importRva)));
       d->Name != 0; ++d) {
    std::string dll = at(fileOffset(d->Name));
    std::transform(dll.begin(), dll.end(), dll.begin(), [](char c) {
      return static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    });
    auto& names = image.imports[dll];
    const DWORD thunkRva = d->OriginalFirstThunk ? d->OriginalFirstThunk : d->FirstThunk;
    for (auto* t = reinterpret_cast<const IMAGE_THUNK_DATA64*>(at(fileOffset(thunkRva)));
         t->u1.AddressOfData != 0; ++t) {
      if (IMAGE_SNAP_BY_ORDINAL64(t->u1.Ordinal)) continue;
      const auto* byName = reinterpret_cast<const IMAGE_IMPORT_BY_NAME*>(
          at(fileOffset(static_cast<DWORD>(t->u1.AddressOfData))));
      names.insert(reinterpret_cast<const char*>(byName->Name));
    }
  }
  return image;
}

TEST(Executable, IsA64BitGuiProgramThatNeedsOnlySystemDlls) {
  const Image image = readImage(gameExePath());
  EXPECT_EQ(image.machine, IMAGE_FILE_MACHINE_AMD64);
  EXPECT_EQ(image.subsystem, IMAGE_SUBSYSTEM_WINDOWS_GUI);
  ASSERT_FALSE(image.imports.empty());
  // A clean Windows has these; it has no MinGW runtime (libstdc++, libgcc, winpthread).
  const std::set<std::string> system = {"KERNEL32.DLL", "USER32.DLL", "GDI32.DLL",
                                        "COMDLG32.DLL", "MSVCRT.DLL", "UCRTBASE.DLL"};
  for (const auto& [dll, names] : image.imports) {
    const bool crtApiSet = dll.rfind("API-MS-WIN-CRT-", 0) == 0;
    EXPECT_TRUE(system.count(dll) || crtApiSet) << dll << " is not a system DLL";
  }
}

TEST(Executable, UsesTheAnsiFunctionsForGameText) {
  const Image image = readImage(gameExePath());
  const auto user32 = image.imports.find("USER32.DLL");
  ASSERT_NE(user32, image.imports.end());
  // Game text is code page 936 bytes, so it goes through the ANSI calls; the index text is
  // formatted by wsprintfA (variadic, so the relay trace cannot show it).
  for (const char* name : {"MessageBoxA", "GetDlgItemTextA", "SetDlgItemTextA", "wsprintfA",
                           "DialogBoxParamW", "GetDlgItemInt", "SetDlgItemInt"}) {
    EXPECT_TRUE(user32->second.count(name)) << name;
  }
  const auto comdlg32 = image.imports.find("COMDLG32.DLL");
  ASSERT_NE(comdlg32, image.imports.end());
  EXPECT_TRUE(comdlg32->second.count("GetOpenFileNameA"));
}

}  // namespace
