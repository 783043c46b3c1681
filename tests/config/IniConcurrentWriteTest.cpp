// SPDX-License-Identifier: MIT
// Two writers of the shared configuration at once, as the bridge (Eps_Vuoto
// at every batch) and `tessiro config set` or a recovery tool are: each write
// reads the whole file and replaces it, and neither may undo the other's.
// Each thread stands for a process: it writes its own key again and again and
// reads it back at once; a write of the other thread that started from the
// file before this one's would bring the old value back.
#include "config/IniFile.h"
#include "support/Files.h"

#include <gtest/gtest.h>

#include <QTemporaryDir>

#include <atomic>
#include <filesystem>
#include <string>
#include <thread>

namespace fs = std::filesystem;

namespace {

TEST(IniConcurrentWrites, NoWriteIsLostToAnotherWriterOfTheSameFile)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const fs::path file = testfiles::path(dir) / "_Configurazione.ini";
    testfiles::write(file, "[Generale]\r\nNegozio=Bottega\r\n[Varie]\r\nA=0\r\nB=0\r\n");

    constexpr int Rounds = 400;
    std::atomic<int> lost{0};
    std::atomic<int> failed{0};
    auto writer = [&](const char* key) {
        for (int i = 1; i <= Rounds; ++i) {
            const std::string value = std::to_string(i);
            if (!ScriviINI("Varie", key, value, file))
                ++failed;
            else if (LeggiINI("Varie", key, "?", file) != value)
                ++lost;
        }
    };
    std::thread a(writer, "A");
    std::thread b(writer, "B");
    a.join();
    b.join();

    EXPECT_EQ(failed.load(), 0);
    EXPECT_EQ(lost.load(), 0);
    EXPECT_EQ(LeggiINI("Varie", "A", "?", file), std::to_string(Rounds));
    EXPECT_EQ(LeggiINI("Varie", "B", "?", file), std::to_string(Rounds));
    EXPECT_EQ(LeggiINI("Generale", "Negozio", "?", file), "Bottega");
}

} // namespace
