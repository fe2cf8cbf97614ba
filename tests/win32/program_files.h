#pragma once
// The programs and the files the build makes beside them, for the tests that check what ships:
// in src\main of the build folder whose tests\ folder holds this test program. (A path handed
// over at compile time would be a Linux path, which means nothing to a program under Wine.)

#include <windows.h>

#include <array>
#include <map>
#include <optional>
#include <string>
#include <string_view>

namespace tavoro::testing {

std::wstring ProgramFolder();
std::wstring ProgramFile(std::wstring_view name);

// What Windows shows of an executable's version block: the first translation, the fixed
// version numbers, and the texts of that translation.
struct VersionBlock {
  WORD language = 0;
  WORD code_page = 0;
  std::array<WORD, 4> file_version{};
  std::array<WORD, 4> product_version{};
  std::map<std::wstring, std::wstring> texts;
};

// Reads it as Explorer does (GetFileVersionInfoW, VerQueryValueW); nullopt when the file has
// no version block. Only the names Windows itself shows are read.
std::optional<VersionBlock> ReadVersionBlock(const std::wstring& executable);

}  // namespace tavoro::testing
