#include "sync/sync_plan.h"

#include "fs/posix_file_system.h"
#include "support/sync_fixture.h"
#include "support/temp_folder.h"
#include "sync/sync_reasons.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

namespace quellomir {
namespace {

bool run(const std::string& command) {
    return std::system((command + " >/dev/null 2>&1").c_str()) == 0;
}

// A USB stick's file system in an image the test makes, mounted through FUSE as a desktop
// mounts one where the kernel has no driver of its own.
struct Stick {
    const char* name;
    const char* tools; // that must be there
    const char* make;  // makes the image IMG
    const char* mount; // mounts IMG (or the loop device DEV) on MNT
    const char* check; // finds no fault in IMG, once it is unmounted
};

TEST(UsbStick, FilesSyncedToAStickCompareAsEqualAfterwards) {
    if (::geteuid() != 0) GTEST_SKIP() << "mounting an image needs root";
    for (const Stick& stick :
         {Stick{"exFAT", "mkfs.exfat mount.exfat-fuse losetup", "mkfs.exfat IMG", "mount.exfat-fuse DEV MNT",
                "fsck.exfat -n DEV"},
          Stick{"FAT", "mkfs.vfat fusefat", "mkfs.vfat IMG", "fusefat -o rw+ IMG MNT", "fsck.vfat -n IMG"}}) {
        if (!run(std::string("command -v ") + stick.tools)) {
            ADD_FAILURE() << stick.name << ": " << stick.tools << " missing (tools/setup installs them)";
            continue;
        }
        testing::TempFolder tmp;
        const std::string image = tmp / "stick.img";
        const std::string mountPoint = tmp.folder("mnt");
        auto expand = [&](std::string text, const std::string& device) {
            for (auto [key, value] : {std::pair{"IMG", image}, {"DEV", device}, {"MNT", mountPoint}})
                for (std::size_t at; (at = text.find(key)) != std::string::npos;)
                    text.replace(at, 3, value);
            return text;
        };
        ASSERT_TRUE(run("truncate -s 64M " + image) && run(expand(stick.make, "")));
        std::string device;
        if (std::string(stick.mount).find("DEV") != std::string::npos) {
            FILE* losetup = ::popen(("losetup -f --show " + image).c_str(), "r");
            char line[64] = {};
            if (losetup && std::fgets(line, sizeof line, losetup))
                device = std::string(line, std::strcspn(line, "\n"));
            if (losetup) ::pclose(losetup);
            ASSERT_FALSE(device.empty()) << stick.name;
        }
        ASSERT_TRUE(run(expand(stick.mount, device))) << stick.name;
        PosixFileSystem fs;
        FileFacts mounted;
        ASSERT_TRUE(fs.stat(mountPoint, Follow::Yes, mounted) == 0 && mounted.mountRoot) << stick.name;
        // Times FAT cannot hold as they are: odd seconds, fractions late and early in a second.
        for (int i = 0; i < 6; ++i)
            testing::setTime(tmp.file("one/f" + std::to_string(i) + ".txt", "data"),
                             {1'600'000'001 + i, 250'000'000 * (i % 4)});
        // A time the stick cannot hold, which exfat-fuse reports as given until it is mounted
        // again: the row fails before writing, so the next comparison plans no overwrite of it.
        testing::setTime(tmp.file("one/1975.txt", "old"), {157'766'400, 0});
        // Two names the stick takes for one: the second is refused for what it is.
        tmp.file("one/Report.txt", "upper");
        tmp.file("one/sub/report.txt", "lower");
        // Into a folder on the stick that the drive numbers anew before the sync, as
        // exfat-fuse does once the kernel has forgotten it: here by mounting the stick again
        // and looking at another folder first.
        const std::string into = mountPoint + "/sub/";
        ASSERT_EQ(::mkdir(into.c_str(), 0755), 0) << stick.name;
        ASSERT_EQ(::mkdir((mountPoint + "/other").c_str(), 0755), 0) << stick.name;
        // An older version on the stick, which the Trash keeps with its own time.
        const FileTime olderTime{1'500'000'000, 0};
        testing::setTime(tmp.file("mnt/sub/f0.txt", "older"), olderTime);
        // Enough long names in one folder that a driver which damages a folder when it
        // renames one (fusefat) shows it: half of them copied, half replacing older ones.
        auto longName = [](int i) {
            return "a photo with a long name, number " + std::to_string(i) + ".jpg";
        };
        for (int i = 0; i < 40; ++i) {
            testing::setTime(tmp.file("one/" + longName(i), std::string(4000 + 37 * i, char('a' + i % 26))),
                             {1'600'000'000, 0});
            if (i % 2)
                testing::setTime(tmp.file("mnt/sub/" + longName(i), "older " + longName(i)), olderTime);
        }
        Plan plan = testing::comparePlan(fs, tmp / "one/", into);
        ASSERT_TRUE(run("umount " + mountPoint) && run(expand(stick.mount, device))) << stick.name;
        ASSERT_TRUE(std::filesystem::is_directory(mountPoint + "/other")) << stick.name;
        {
            NoYield noYield;
            SyncSession session(fs, noYield); // holds the stick open until it goes
            syncPlan(plan, session);
        }
        ASSERT_TRUE(run("umount " + mountPoint)) << stick.name;
        EXPECT_TRUE(run(expand(stick.check, device))) << stick.name << ": the stick's file system is damaged";
        ASSERT_TRUE(run(expand(stick.mount, device))) << stick.name;
        for (int i = 0; i < 40; ++i)
            EXPECT_TRUE(testing::contentsOf(into + longName(i)) ==
                        testing::contentsOf(tmp / ("one/" + longName(i))))
                << stick.name << ": " << longName(i);
        std::vector<std::string> failed;
        for (std::size_t row = 0; row < plan.size(); ++row)
            if (plan.actionText(row) != "Done") failed.push_back(plan.actionText(row));
        std::sort(failed.begin(), failed.end());
        EXPECT_EQ(failed, (std::vector<std::string>{"Failed: " + std::string(CaseBlindReason),
                                                    "Failed: " + std::string(TimeNotKeptReason)}))
            << stick.name;
        EXPECT_FALSE(std::filesystem::exists(into + "1975.txt")) << stick.name;
        const std::string kept = mountPoint + "/.Trash-" + std::to_string(::getuid()) + "/files/f0.txt";
        EXPECT_EQ(testing::contentsOf(kept), "older") << stick.name;
        EXPECT_EQ(testing::timeOf(kept).seconds, olderTime.seconds) << stick.name;
        EXPECT_EQ(testing::rowTexts(testing::comparePlan(fs, tmp / "one/", into)).size(), 2u) << stick.name;
        EXPECT_TRUE(run("umount " + mountPoint) || run("umount -l " + mountPoint)) << stick.name;
        if (!device.empty()) run("losetup -d " + device);
    }
}

} // namespace
} // namespace quellomir
