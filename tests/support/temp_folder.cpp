#include "tests/support/temp_folder.h"

#include <windows.h>

#include <algorithm>
#include <atomic>
#include <fstream>
#include <iterator>
#include <stdexcept>

namespace ulverane::testing {
namespace {

void ListInto(const std::wstring& root,
              const std::wstring& relative,
              std::vector<std::wstring>& out) {
  WIN32_FIND_DATAW data;
  const std::wstring pattern = root + L"\\" + relative + L"*";
  HANDLE find = FindFirstFileW(pattern.c_str(), &data);
  if (find == INVALID_HANDLE_VALUE)
    return;
  do {
    const std::wstring name = data.cFileName;
    if (name == L"." || name == L"..")
      continue;
    if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
      out.push_back(relative + name + L"\\");
      ListInto(root, relative + name + L"\\", out);
    } else {
      out.push_back(relative + name);
    }
  } while (FindNextFileW(find, &data));
  FindClose(find);
}

}  // namespace

std::wstring TempPath() {
  wchar_t buffer[MAX_PATH];
  const DWORD length = GetTempPathW(MAX_PATH, buffer);
  return std::wstring(buffer, length);
}

std::wstring Widen(const std::string& text) {
  return std::wstring(text.begin(), text.end());
}

unsigned Fnv1a(const std::string& bytes) {
  unsigned hash = 2166136261u;
  for (const unsigned char c : bytes)
    hash = (hash ^ c) * 16777619u;
  return hash;
}

std::string FileDigest(const std::wstring& path) {
  std::ifstream file(path.c_str(), std::ios::binary);
  if (!file)
    throw std::runtime_error("cannot read test file");
  std::vector<char> chunk(1 << 20);
  unsigned hash = 2166136261u;
  unsigned long long size = 0;
  while (file) {
    file.read(chunk.data(), static_cast<std::streamsize>(chunk.size()));
    const auto count = static_cast<size_t>(file.gcount());
    for (size_t i = 0; i < count; ++i)
      hash = (hash ^ static_cast<unsigned char>(chunk[i])) * 16777619u;
    size += count;
  }
  return std::to_string(size) + " " + std::to_string(hash);
}

TempFolder::TempFolder() {
  static std::atomic<unsigned> counter{0};
  path_ = TempPath() + L"ulverane-test-" + std::to_wstring(GetCurrentProcessId()) + L"-" +
          std::to_wstring(GetTickCount64()) + L"-" + std::to_wstring(counter++);
  if (!CreateDirectoryW(path_.c_str(), nullptr))
    throw std::runtime_error("cannot create test folder");
}

TempFolder::~TempFolder() {
  RemoveTree(path_);
}

void WriteBytes(const std::wstring& path, const std::string& bytes) {
  std::ofstream file(path.c_str(), std::ios::binary | std::ios::trunc);
  file.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  if (!file)
    throw std::runtime_error("cannot write test file");
}

std::string ReadBytes(const std::wstring& path) {
  std::ifstream file(path.c_str(), std::ios::binary);
  if (!file)
    throw std::runtime_error("cannot read test file");
  return std::string(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

bool Exists(const std::wstring& path) {
  return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

void RemoveTree(const std::wstring& path) {
  const DWORD attributes = GetFileAttributesW(path.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES)
    return;
  SetFileAttributesW(path.c_str(), attributes & ~FILE_ATTRIBUTE_READONLY);
  if (!(attributes & FILE_ATTRIBUTE_DIRECTORY)) {
    DeleteFileW(path.c_str());
    return;
  }
  for (const std::wstring& entry : ListTree(path)) {
    if (entry.back() != L'\\')
      RemoveTree(path + L"\\" + entry);
  }
  std::vector<std::wstring> folders = ListTree(path);
  std::reverse(folders.begin(), folders.end());  // deepest first
  for (const std::wstring& entry : folders)
    RemoveDirectoryW((path + L"\\" + entry).c_str());
  RemoveDirectoryW(path.c_str());
}

std::vector<std::wstring> ListTree(const std::wstring& folder) {
  std::vector<std::wstring> out;
  ListInto(folder, L"", out);
  std::sort(out.begin(), out.end());
  return out;
}

}  // namespace ulverane::testing
