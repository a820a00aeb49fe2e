// The installer's PATH step: the folder goes in and out again without a
// change to any other entry, however long the value.
#include "path_entry.h"

#include <gtest/gtest.h>

namespace {

using path_entry::AddEntry;
using path_entry::RemoveEntry;

const std::wstring kFolder = L"C:\\Program Files\\KV-770 Tool";

// A system PATH of `length` characters made of distinct folders.
std::wstring LongPath(std::size_t length) {
  std::wstring value = L"%SystemRoot%\\system32;%SystemRoot%";
  for (int i = 0; value.size() < length; ++i) value += L";C:\\Tools\\Folder" + std::to_wstring(i);
  return value.substr(0, length);
}

TEST(PathEntry, AddingAndRemovingGivesBackTheValueExactly) {
  for (const std::wstring& before : {LongPath(4000), LongPath(1023), LongPath(1177), std::wstring(L"C:\\A;C:\\B;"),
                                     std::wstring(L"C:\\A"), std::wstring(L"C:\\A;;C:\\B"), std::wstring()}) {
    const auto added = AddEntry(before, kFolder);
    ASSERT_TRUE(added) << before.size();
    EXPECT_EQ(added->substr(0, before.size()), before) << "the old entries come first, unchanged";
    EXPECT_NE(added->find(kFolder), std::wstring::npos);
    const auto removed = RemoveEntry(*added, kFolder);
    ASSERT_TRUE(removed);
    EXPECT_EQ(*removed, before);
  }
  EXPECT_EQ(*AddEntry(L"C:\\A", kFolder), L"C:\\A;" + kFolder);
  EXPECT_EQ(*AddEntry(L"C:\\A;", kFolder), L"C:\\A;" + kFolder + L";");
}

TEST(PathEntry, AFolderAlreadyThereIsNotAddedTwice) {
  for (const std::wstring& spelling : {kFolder, std::wstring(L"c:\\program files\\kv-770 tool\\"),
                                       L"\"" + kFolder + L"\"", std::wstring(L"C:/Program Files/KV-770 Tool")}) {
    EXPECT_FALSE(AddEntry(L"C:\\A;" + spelling + L";C:\\B", kFolder)) << std::string(spelling.begin(), spelling.end());
  }
  const auto once = AddEntry(LongPath(4000), kFolder);
  EXPECT_FALSE(AddEntry(*once, kFolder));
}

TEST(PathEntry, RemovingTakesOnlyTheOneEntryThatNamesTheFolder) {
  // Entries that merely start or end like the folder stay.
  const std::wstring others = L"C:\\Program Files\\KV-770 Tool Old;D:\\Program Files\\KV-770 Tool;C:\\Program Files";
  EXPECT_FALSE(RemoveEntry(others, kFolder));
  EXPECT_EQ(*RemoveEntry(L"C:\\A;" + kFolder + L";C:\\B", kFolder), L"C:\\A;C:\\B");
  EXPECT_EQ(*RemoveEntry(kFolder + L";C:\\B", kFolder), L"C:\\B");
  EXPECT_EQ(*RemoveEntry(kFolder, kFolder), L"");
  // The user had it too: the later entry (the one added last) goes.
  EXPECT_EQ(*RemoveEntry(kFolder + L";C:\\B;" + kFolder, kFolder), kFolder + L";C:\\B");
}

TEST(PathEntry, AFolderWithASemicolonGoesInQuoted) {
  const std::wstring odd = L"C:\\Tools;Old\\KV";
  const auto added = AddEntry(L"C:\\A", odd);
  ASSERT_TRUE(added);
  EXPECT_EQ(*added, L"C:\\A;\"C:\\Tools;Old\\KV\"");
  EXPECT_FALSE(AddEntry(*added, odd)) << "a quoted entry is recognised";
}

TEST(PathEntry, NonLatinFoldersCompareByTheirOwnLetters) {
  const std::wstring greek = L"C:\\Προγράμματα\\KV-770";
  const auto added = AddEntry(L"C:\\A", greek);
  ASSERT_TRUE(added);
  EXPECT_FALSE(AddEntry(*added, greek));
  EXPECT_EQ(*RemoveEntry(*added, greek), L"C:\\A");
  EXPECT_TRUE(AddEntry(*added, L"C:\\José\\KV-770"));
}

}  // namespace
