// SPDX-License-Identifier: MIT
#include "bridge/UnchangedCheck.h"

#include "core/Clock.h"

namespace {

std::chrono::nanoseconds sinceEpoch(const timespec& t)
{
    return std::chrono::seconds(t.tv_sec) + std::chrono::nanoseconds(t.tv_nsec);
}

} // namespace

UnchangedCheck::UnchangedCheck(Clock& clock, std::chrono::nanoseconds settle, std::chrono::nanoseconds refresh)
    : m_clock(&clock), m_settle(settle), m_refresh(refresh)
{}

bool UnchangedCheck::Stamp::operator==(const Stamp& other) const
{
    return valid && other.valid && device == other.device && inode == other.inode && size == other.size &&
           modified.tv_sec == other.modified.tv_sec && modified.tv_nsec == other.modified.tv_nsec &&
           changed.tv_sec == other.changed.tv_sec && changed.tv_nsec == other.changed.tv_nsec;
}

bool UnchangedCheck::unchanged(const std::filesystem::path& path)
{
    struct stat info {};
    m_checked = Stamp{};
    if (::stat(path.c_str(), &info) == 0)
        m_checked = Stamp{true, info.st_dev, info.st_ino, info.st_size, info.st_mtim, info.st_ctim};

    if (m_checked == m_remembered && m_clock->steadyNow() - m_rememberedAt < m_refresh)
        return true;
    m_remembered = Stamp{};
    return false;
}

void UnchangedCheck::remember()
{
    if (!m_checked.valid)
        return;
    // The status-change time moves with every write, rename and chmod and
    // cannot be set back by hand, so it dates the last change of any kind.
    const auto now = m_clock->wallNow().time_since_epoch();
    if (now - sinceEpoch(m_checked.changed) < m_settle || now - sinceEpoch(m_checked.modified) < m_settle)
        return;
    m_remembered = m_checked;
    m_rememberedAt = m_clock->steadyNow();
}
