// orvane.exe as it is shipped: a GUI program that needs no runtime DLLs, with
// its manifest (Windows 10/11, UTF-8 code page, no DPI element) and version.
#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <iterator>
#include <set>
#include <string>
#include <vector>

#include "session.h"
#include "orvane_version.h"

using namespace driver;

namespace {

std::vector<std::uint8_t> readAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

template <typename T> T at(const std::vector<std::uint8_t>& file, std::size_t offset) {
    T value{};
    if (offset + sizeof(T) <= file.size())
        std::memcpy(&value, file.data() + offset, sizeof(T));
    return value;
}

struct PeFile {
    std::vector<std::uint8_t> bytes;
    IMAGE_NT_HEADERS64 headers{};
    std::size_t sections = 0;

    explicit PeFile(const std::string& path) : bytes(readAll(path)) {
        const auto dos = at<IMAGE_DOS_HEADER>(bytes, 0);
        headers = at<IMAGE_NT_HEADERS64>(bytes, static_cast<std::size_t>(dos.e_lfanew));
        sections = static_cast<std::size_t>(dos.e_lfanew) + offsetof(IMAGE_NT_HEADERS64, OptionalHeader) +
                   headers.FileHeader.SizeOfOptionalHeader;
    }

    // File offset of a relative virtual address.
    std::size_t offsetOf(DWORD rva) const {
        for (WORD i = 0; i < headers.FileHeader.NumberOfSections; ++i) {
            const auto section = at<IMAGE_SECTION_HEADER>(bytes, sections + i * sizeof(IMAGE_SECTION_HEADER));
            if (rva >= section.VirtualAddress && rva < section.VirtualAddress + section.Misc.VirtualSize)
                return rva - section.VirtualAddress + section.PointerToRawData;
        }
        return 0;
    }

    std::set<std::string> importedDlls() const {
        std::set<std::string> names;
        const DWORD imports = headers.OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT].VirtualAddress;
        for (std::size_t entry = offsetOf(imports); entry != 0; entry += sizeof(IMAGE_IMPORT_DESCRIPTOR)) {
            const auto descriptor = at<IMAGE_IMPORT_DESCRIPTOR>(bytes, entry);
            if (descriptor.Name == 0)
                break;
            std::string name(reinterpret_cast<const char*>(bytes.data() + offsetOf(descriptor.Name)));
            for (char& c : name)
                c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
            names.insert(name);
        }
        return names;
    }
};

TEST(ProgramFile, IsA64BitGuiProgramWithoutRuntimeDlls) {
    const PeFile exe(orvanePath());
    ASSERT_EQ(exe.headers.Signature, IMAGE_NT_SIGNATURE);
    EXPECT_EQ(exe.headers.FileHeader.Machine, IMAGE_FILE_MACHINE_AMD64);
    EXPECT_EQ(exe.headers.OptionalHeader.Subsystem, IMAGE_SUBSYSTEM_WINDOWS_GUI); // no console window
    const std::set<std::string> dlls = exe.importedDlls();
    EXPECT_TRUE(dlls.count("user32.dll"));
    for (const char* runtime : {"libstdc++-6.dll", "libgcc_s_seh-1.dll", "libwinpthread-1.dll"})
        EXPECT_EQ(dlls.count(runtime), 0u) << runtime << ": the runtime must be linked in";
}

TEST(ProgramFile, CarriesItsManifest) {
    HMODULE exe = LoadLibraryExA(orvanePath().c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    ASSERT_NE(exe, nullptr);
    HRSRC resource = FindResourceA(exe, MAKEINTRESOURCEA(1), MAKEINTRESOURCEA(24)); // RT_MANIFEST
    ASSERT_NE(resource, nullptr);
    const char* text = static_cast<const char*>(LockResource(LoadResource(exe, resource)));
    const std::string manifest(text, SizeofResource(exe, resource));
    FreeLibrary(exe);
    EXPECT_NE(manifest.find("<supportedOS Id=\"{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}\"/>"), std::string::npos);
    EXPECT_NE(manifest.find(">UTF-8</activeCodePage>"), std::string::npos);
    EXPECT_EQ(manifest.find("dpiAware"), std::string::npos) << "the program sets its DPI awareness itself";
}

TEST(ProgramFile, NamesItsProductAndVersion) {
    const std::string path = orvanePath();
    DWORD ignored = 0;
    const DWORD size = GetFileVersionInfoSizeA(path.c_str(), &ignored);
    ASSERT_GT(size, 0u);
    std::vector<char> info(size);
    ASSERT_TRUE(GetFileVersionInfoA(path.c_str(), 0, size, info.data()));
    char* value = nullptr;
    UINT length = 0;
    ASSERT_TRUE(VerQueryValueA(info.data(), "\\StringFileInfo\\040904B0\\ProductName", reinterpret_cast<void**>(&value),
                               &length));
    EXPECT_STREQ(value, "Orvane");
    VS_FIXEDFILEINFO* fixed = nullptr;
    ASSERT_TRUE(VerQueryValueA(info.data(), "\\", reinterpret_cast<void**>(&fixed), &length));
    EXPECT_EQ(HIWORD(fixed->dwProductVersionMS), static_cast<DWORD>(ORVANE_VERSION_MAJOR));
    EXPECT_EQ(LOWORD(fixed->dwProductVersionMS), static_cast<DWORD>(ORVANE_VERSION_MINOR));
    EXPECT_EQ(HIWORD(fixed->dwProductVersionLS), static_cast<DWORD>(ORVANE_VERSION_PATCH));
    EXPECT_EQ(fixed->dwFileVersionMS, fixed->dwProductVersionMS);
    ASSERT_TRUE(VerQueryValueA(info.data(), "\\StringFileInfo\\040904B0\\ProductVersion",
                               reinterpret_cast<void**>(&value), &length));
    EXPECT_STREQ(value, ORVANE_VERSION_TEXT);
    EXPECT_EQ(fixed->dwFileType, static_cast<DWORD>(VFT_APP));
}

} // namespace
