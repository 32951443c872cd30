#include "inputs.h"

#include "test_support.h"

#include <fstream>
#include <string>

#include <gtest/gtest.h>

namespace {

using test_support::TemporaryDirectory;

constexpr char header[] = "QAV match profile: name calls matched searches matches time nodes cells\n";

// A point's runs are its regular files in the order of their bytes, hidden
// ones and folders left out; a file is a point of one run.
TEST(Inputs, APointIsAFolderOfRunsOrAFile) {
    TemporaryDirectory dir;
    ASSERT_FALSE(dir.path().empty());
    test_support::resetStreamTable();
    const std::string folder = dir.path("c01");
    ASSERT_EQ(mkdir(folder.c_str(), 0755), 0);
    ASSERT_EQ(mkdir((folder + "/nested").c_str(), 0755), 0);
    for (const char* name : {"run10.prof", "run2.prof", ".hidden.prof", "Run3.prof"})
        std::ofstream(folder + "/" + name) << header << "rule 1 1 1 1 " << std::strlen(name) << " 1 1\n";
    std::ofstream(dir.path("c02.prof")) << header << "rule 1 1 1 1 7 1 1\nother 2 1 1 1 3 1 1\n";
    const std::string second = dir.path("c02.prof");
    const char* points[] = {folder.c_str(), second.c_str()};
    HistoryRuns h;
    startHistory(h, points, 2);
    Profile& run = *new Profile;
    Options options;
    options.history = true;
    KindCheck kinds{ProfileKind::unknown, nullptr};
    for (std::int32_t t = 0; t < 2; ++t) loadPoint(h, t, run, options, kinds);
    finishHistory(h);
    ASSERT_EQ(h.runCount, 4);
    EXPECT_EQ(h.firstRun[1], 3);
    EXPECT_EQ(std::string(h.runNames[0]), folder + "/Run3.prof");
    EXPECT_EQ(std::string(h.runNames[1]), folder + "/run10.prof");
    EXPECT_EQ(std::string(h.runNames[2]), folder + "/run2.prof");
    EXPECT_EQ(std::string(h.runNames[3]), second);
    EXPECT_EQ(h.ruleCount, 2);
    EXPECT_EQ(kinds.kind, ProfileKind::match);
    releaseHistory(h);
    delete &run;
    test_support::resetStreamTable();
}

}  // namespace
