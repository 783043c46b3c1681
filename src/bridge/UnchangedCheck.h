// SPDX-License-Identifier: MIT
#pragma once

#include <sys/stat.h>

#include <chrono>
#include <filesystem>

class Clock;

// Tells, from one stat, that a file or folder is still as it was when it was
// last looked at, so that an idle poll can skip reading the configuration
// and listing the drop folder again. Twice a second for a whole shop day,
// those reads are most of what an idle bridge costs.
//
// A look is remembered only when nothing changed the entry in the `settle`
// period before it: a change made in the same time-stamp tick as the look
// would leave the stamp as it was (coarse kernel clocks; FAT keeps two
// seconds), so a recent stamp proves nothing. The stamp is taken before the
// look, so a change during the look shows at the next check. And however
// quiet the entry, it is looked at in full once every `refresh` period, for
// file systems whose stamps can lag or lie (network shares). Both periods
// are measured on `clock`: the settle period against its wall time, as the
// stamps are; the refresh period on its steady time.
class UnchangedCheck {
public:
    static constexpr std::chrono::seconds DefaultSettle{3};
    static constexpr std::chrono::seconds DefaultRefresh{10};

    // `clock` outlives the check.
    explicit UnchangedCheck(Clock& clock, std::chrono::nanoseconds settle = DefaultSettle,
                            std::chrono::nanoseconds refresh = DefaultRefresh);

    // Stats `path`. True when the remembered look still holds; false when
    // the entry has to be looked at again, and then the remembered look is
    // dropped until remember() is called.
    bool unchanged(const std::filesystem::path& path);
    // The look that followed the last unchanged() is complete and its result
    // may stand for the entry while it stays as that check found it.
    void remember();

private:
    struct Stamp {
        bool valid = false;
        dev_t device = 0;
        ino_t inode = 0;
        off_t size = 0;
        timespec modified{};
        timespec changed{};
        bool operator==(const Stamp& other) const;
    };

    Clock* m_clock;
    std::chrono::nanoseconds m_settle;
    std::chrono::nanoseconds m_refresh;
    Stamp m_checked;
    Stamp m_remembered;
    std::chrono::steady_clock::time_point m_rememberedAt;
};
