// What the built programs carry, read back the way Windows and Explorer read it: the version
// block, the icon group and the manifest.

#include <gtest/gtest.h>

#include <windows.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "win32/owned_handles.h"
#include "win32/wide_text.h"
#include "win32_test_support.h"

namespace tavoro::testing {
namespace {

using platform::win32::Narrow;

struct Program {
  const wchar_t* file;
  const wchar_t* internal_name;
  const char* description;  // UTF-8
  std::vector<const char*> manifest_holds;
};

const Program kPrograms[] = {
    {L"Tavoro.exe",
     L"Tavoro",
     "Tavorophone Skype・ひかり電話ゲートウェイ",
     {"level=\"asInvoker\"", "name=\"Microsoft.Windows.Common-Controls\" version=\"6.0.0.0\"",
      "<dpiAware "
      "xmlns=\"http://schemas.microsoft.com/SMI/2005/WindowsSettings\">true</dpiAware>"}},
    {L"Ondawn.exe", L"Ondawn", "Tavorophone 初回起動ツール", {"level=\"asInvoker\""}},
};

// The program loaded as data: its resources without running any of its code.
class ResourceModule {
 public:
  explicit ResourceModule(const std::wstring& path)
      : module_(::LoadLibraryExW(path.c_str(), nullptr,
                                 LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE)) {}
  HMODULE get() const { return module_.get(); }

  std::string Bytes(LPCWSTR type, LPCWSTR name) const {
    const HRSRC found = ::FindResourceW(get(), name, type);
    const auto* data =
        found ? static_cast<const char*>(::LockResource(::LoadResource(get(), found))) : nullptr;
    return data == nullptr ? std::string() : std::string(data, ::SizeofResource(get(), found));
  }

 private:
  platform::win32::Owned<HMODULE, &::FreeLibrary> module_;
};

BOOL CALLBACK CollectName(HMODULE, LPCWSTR, LPWSTR name, LONG_PTR names) {
  reinterpret_cast<std::vector<std::wstring>*>(names)->push_back(
      IS_INTRESOURCE(name) ? L"#" + std::to_wstring(reinterpret_cast<std::uintptr_t>(name))
                           : std::wstring(name));
  return TRUE;
}

// Read as Explorer reads it; the texts from the Japanese Unicode translation, the one there is.
TEST(ProgramResources, VersionBlockNamesTheProductInJapanese) {
  for (const Program& program : kPrograms) {
    SCOPED_TRACE(Narrow(program.file));
    const std::wstring file = ProgramFile(program.file);
    std::vector<char> block(::GetFileVersionInfoSizeW(file.c_str(), nullptr));
    ASSERT_TRUE(!block.empty() &&
                ::GetFileVersionInfoW(file.c_str(), 0, block.size(), block.data()))
        << "no version block";
    const auto value = [&block](const std::wstring& name) -> const void* {
      void* found = nullptr;
      UINT length = 0;
      return ::VerQueryValueW(block.data(), name.c_str(), &found, &length) ? found : nullptr;
    };
    const auto* fixed = static_cast<const VS_FIXEDFILEINFO*>(value(L"\\"));
    ASSERT_NE(fixed, nullptr);
    EXPECT_EQ(fixed->dwFileVersionMS, 0x00010000u);  // 1.0
    EXPECT_EQ(fixed->dwFileVersionLS, 0u);           // .0.0
    EXPECT_EQ(fixed->dwProductVersionMS, 0x00010000u);
    EXPECT_EQ(fixed->dwProductVersionLS, 0u);
    const auto* translation = static_cast<const WORD*>(value(L"\\VarFileInfo\\Translation"));
    ASSERT_NE(translation, nullptr);
    EXPECT_EQ(translation[0], 0x0411);
    EXPECT_EQ(translation[1], 1200);
    const auto text = [&value](const wchar_t* name) {
      const void* found = value(std::wstring(L"\\StringFileInfo\\041104b0\\") + name);
      return found ? Narrow(static_cast<const wchar_t*>(found)) : "(none)";
    };
    EXPECT_EQ(text(L"ProductName"), "Tavorophone");
    // The About box says "Version 1.00".
    EXPECT_EQ(text(L"ProductVersion"), "1.00");
    EXPECT_EQ(text(L"FileVersion"), "1.0.0.0");
    EXPECT_EQ(text(L"OriginalFilename"), Narrow(program.file));
    EXPECT_EQ(text(L"InternalName"), Narrow(program.internal_name));
    EXPECT_EQ(text(L"FileDescription"), program.description);
  }
}

TEST(ProgramResources, TheOneIconGroupHoldsEverySizeExplorerAsksFor) {
  for (const Program& program : kPrograms) {
    SCOPED_TRACE(Narrow(program.file));
    const ResourceModule module(ProgramFile(program.file));
    ASSERT_NE(module.get(), nullptr);

    // Explorer shows the first group; the About box loads it by name.
    std::vector<std::wstring> groups;
    ::EnumResourceNamesW(module.get(), RT_GROUP_ICON, CollectName,
                         reinterpret_cast<LONG_PTR>(&groups));
    ASSERT_EQ(groups, std::vector<std::wstring>{L"IDI_TAVORO"});

    std::string directory = module.Bytes(RT_GROUP_ICON, L"IDI_TAVORO");
    ASSERT_FALSE(directory.empty());
    for (const int size : {16, 24, 32, 48, 256}) {
      SCOPED_TRACE(size);
      const int id = ::LookupIconIdFromDirectoryEx(reinterpret_cast<PBYTE>(directory.data()), TRUE,
                                                   size, size, LR_DEFAULTCOLOR);
      ASSERT_NE(id, 0);
      const std::string image = module.Bytes(RT_ICON, MAKEINTRESOURCEW(id));
      ASSERT_GE(image.size(), 40u);
      if (size == 256) {
        // Large images are PNG, which only Vista's icon loader and later read.
        EXPECT_EQ(image.substr(0, 8), std::string("\x89PNG\r\n\x1a\n", 8));
        continue;
      }
      // An exact image for the size, with alpha, not one the system would have to scale.
      BITMAPINFOHEADER header;
      std::memcpy(&header, image.data(), sizeof header);
      EXPECT_EQ(header.biWidth, size);
      EXPECT_EQ(header.biHeight, 2 * size);
      EXPECT_EQ(header.biBitCount, 32);

      const HICON icon = static_cast<HICON>(
          ::LoadImageW(module.get(), L"IDI_TAVORO", IMAGE_ICON, size, size, LR_DEFAULTCOLOR));
      EXPECT_NE(icon, nullptr);
      if (icon != nullptr)
        ::DestroyIcon(icon);
    }
  }
}

TEST(ProgramResources, ManifestRunsAsInvokerAndDeclaresNoNewerWindows) {
  // These would make the version query report 6.3 or 10.0 instead of 6.2.
  const char* const newer_windows[] = {"1f676c76-80e1-4239-95bb-83d0f6d0da78",
                                       "8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a"};
  for (const Program& program : kPrograms) {
    SCOPED_TRACE(Narrow(program.file));
    const ResourceModule module(ProgramFile(program.file));
    ASSERT_NE(module.get(), nullptr);
    const std::string manifest =
        module.Bytes(MAKEINTRESOURCEW(24), MAKEINTRESOURCEW(1));  // RT_MANIFEST, the process's
    ASSERT_FALSE(manifest.empty());
    for (const char* wanted : program.manifest_holds)
      EXPECT_NE(manifest.find(wanted), std::string::npos) << wanted;
    for (const char* guid : newer_windows)
      EXPECT_EQ(manifest.find(guid), std::string::npos) << guid;
  }
}

}  // namespace
}  // namespace tavoro::testing
