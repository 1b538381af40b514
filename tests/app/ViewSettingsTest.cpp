// The View-menu settings file: INI keys, the styles they name, files read but left alone.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "TempFolder.h"
#include "ViewSettings.h"
#include "ViewStyleTable.h"

namespace zelqor {
namespace {

namespace fs = std::filesystem;
using namespace std::string_view_literals;
using Codes = std::vector<int>;

TEST(IniSectionKeys, ReadsTheNamedSectionsKeysAndSkipsWhatIsMalformed) {
    struct Case {
        std::string_view text;
        std::vector<std::string> want;
    };
    const Case cases[] = {
        {"[View]\na=1\nb=\n", {"a", "b"}},
        {" [ vIEW ] \n  a  =  1 \n", {"a"}},
        {"[Other]\nx=1\n[View]\na=\n[Other]\ny=\n", {"a"}},
        {"[View]\na=\n[Main]\nx=\n[VIEW]\nb=\n", {"a", "b"}},  // every [View] section is read
        {"[View]\nno equals\n=empty key\n;c=\n\x01\xFF\x00z=\n[Views]\nd=\n"sv,
         {std::string("\x01\xFF\x00z", 4)}},
        {"[View]\na=\n[Main\nb=\n", {"a"}},  // an unclosed header still leaves [View]
        {"[View]\r\na=\r\nb=\r\n", {"a", "b"}},
        {"[View]\ra=\rb=\r", {"a", "b"}},
        {"\xEF\xBB\xBF[View]\na=\n", {"a"}},
        {"x=\n\xEF\xBB\xBF[View]\na=\n", {}},  // a BOM past the start is junk before '['
        {"a=\nb=\n", {}},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(IniSectionKeys(c.text, "View"), c.want) << c.text;
    }
}

TEST(ViewStylesToShow, NamesOnlyStylesWhoseCodeIsTheKeyExactly) {
    struct Case {
        std::string_view text;
        Codes want;
    };
    const Case cases[] = {
        {"[View]\n30000=\n", {30000}},
        {"[view]\n30000=\n", {30000}},
        {"[VIEW]\n40000=anything\n", {40000}},
        {"[View]\n030000=\n30000.0=\n 3 0000=\n+5=\n7=\n99999=\n", {}},
        {"[View]\n0=\n", {0}},
        {"[View]\n6=\n5=\n40000=\n30000=\n6=\n", {6, 5, 40000, 30000}},
        {"[Main]\n30000=\n", {}},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(ViewStylesToShow(c.text), c.want) << c.text;
    }
}

TEST(ViewStylesToShow, EveryStyleIsReachableAndKeyZeroRevealsNothingHidden) {
    std::string all = "[View]\n";
    Codes hidden;
    for (const ViewStyleInfo& s : kViewStyleTable) {
        all += std::to_string(s.baseCode) + "=\n";
        EXPECT_EQ(ViewStylesToShow("[View]\n" + std::to_string(s.baseCode) + "=1\n"),
                  Codes{s.baseCode});
        if (s.hiddenAtStart) {
            hidden.push_back(s.baseCode);
        }
    }
    EXPECT_EQ(ViewStylesToShow(all).size(), kViewStyleTable.size());
    EXPECT_EQ(hidden, (Codes{30000, 40000, 5, 6}));
    for (int code : ViewStylesToShow("[View]\n0=\n")) {
        EXPECT_FALSE(FindViewStyle(code)->hiddenAtStart) << code;
    }
}

class ViewSettingsFile : public ::testing::Test {
  protected:
    std::string Write(const std::string& name, const std::string& bytes) {
        std::ofstream(dir_ / name, std::ios::binary) << bytes;
        return (dir_ / name).string();
    }
    TempFolder folder_;
    const fs::path dir_ = folder_.Path();
};

TEST_F(ViewSettingsFile, ReadingLeavesTheFileAndItsFolderAsTheyWere) {
    const std::string bytes = "\xEF\xBB\xBF[View]\r\n5=\r\n";
    const std::string path = Write("zelqor.ini", bytes);
    const timespec old[2] = {{1000000000, 0}, {1000000000, 0}};
    ASSERT_EQ(::utimensat(AT_FDCWD, path.c_str(), old, 0), 0);
    EXPECT_EQ(ViewStylesToShowFromFile(path), Codes{5});
    struct stat st {};
    ASSERT_EQ(::stat(path.c_str(), &st), 0);
    EXPECT_EQ(st.st_mtim.tv_sec, old[1].tv_sec);
    std::ifstream in(path, std::ios::binary);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), bytes);
    EXPECT_EQ(std::distance(fs::directory_iterator(dir_), fs::directory_iterator()), 1);
}

TEST_F(ViewSettingsFile, WhatIsNotARegularReadableFileShowsNothing) {
    const std::string missing = (dir_ / "missing.ini").string();
    ASSERT_EQ(::mkfifo((dir_ / "fifo").c_str(), 0600), 0);
    fs::create_directory(dir_ / "folder.ini");
    for (const std::string& path : {missing, (dir_ / "folder.ini").string(),
                                    (dir_ / "fifo").string(), std::string("/dev/zero")}) {
        EXPECT_EQ(ViewStylesToShowFromFile(path), Codes{}) << path;
    }
    EXPECT_FALSE(fs::exists(missing));
}

TEST_F(ViewSettingsFile, ReadsOnlyUpToTheCap) {
    const std::string filler = "[View]\n" + std::string(kViewSettingsReadCap - 20, ';') + "\n";
    EXPECT_EQ(ViewStylesToShowFromFile(Write("near.ini", filler + "6=\n")), Codes{6});
    EXPECT_EQ(ViewStylesToShowFromFile(Write("far.ini", filler + std::string(40, ' ') + "\n6=\n")),
              Codes{});
}

TEST_F(ViewSettingsFile, LoadJoinsEveryPathWithoutDuplicates) {
    const std::string missing = (dir_ / "missing.ini").string();
    const std::string beside = Write("beside.ini", "[View]\n30000=\n5=\n");
    const std::string user = Write("user.ini", "[View]\n5=\n40000=\n");
    EXPECT_EQ(LoadViewSettings({missing, user}), (Codes{5, 40000}));
    EXPECT_EQ(LoadViewSettings({beside, user}), (Codes{30000, 5, 40000}));
    EXPECT_EQ(LoadViewSettings({missing, missing}), Codes{});
}

}  // namespace
}  // namespace zelqor
