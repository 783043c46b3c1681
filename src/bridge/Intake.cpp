// SPDX-License-Identifier: MIT
#include "bridge/Intake.h"

#include "bridge/ConsoleWindow.h"
#include "commands/Interprete.h"
#include "commands/SpezzaRiga.h"
#include "config/Keys.h"
#include "config/Text.h"
#include "core/Clock.h"
#include "core/Job.h"
#include "core/SharedState.h"
#include "errors/ErrorHandler.h"
#include "printer/AcceptingControl.h"
#include "printer/ErrorLink.h"

#include <QSocketNotifier>

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <linux/magic.h>
#include <sys/inotify.h>
#include <sys/vfs.h>
#include <unistd.h>

DescriptorBuffer::int_type DescriptorBuffer::underflow()
{
    if (gptr() < egptr())
        return traits_type::to_int_type(*gptr());
    for (;;) {
        const ssize_t n = ::read(m_fd, m_buffer, sizeof m_buffer);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return traits_type::eof();
        setg(m_buffer, m_buffer, m_buffer + n);
        return traits_type::to_int_type(*gptr());
    }
}

LeaseAnswer probeWriters(int fd)
{
    // Someone opening the file for writing while the lease is held would
    // send the holder SIGIO, whose default action ends the process; the
    // lease is dropped at once, but the signal could still come in between.
    static const bool ignored = [] {
        std::signal(SIGIO, SIG_IGN);
        return true;
    }();
    (void)ignored;
    if (::fcntl(fd, F_SETLEASE, F_RDLCK) == 0) {
        ::fcntl(fd, F_SETLEASE, F_UNLCK);
        return LeaseAnswer::Free;
    }
    return errno == EAGAIN ? LeaseAnswer::Writing : LeaseAnswer::Unknown;
}

bool onLocalFileSystem(int fd)
{
    struct statfs fs {};
    if (::fstatfs(fd, &fs) != 0)
        return false;
    // The network and user-space file systems that a shop's share may sit
    // on; for those the kernel here does not see the writer.
    switch (static_cast<unsigned long>(fs.f_type)) {
    case NFS_SUPER_MAGIC:
    case SMB_SUPER_MAGIC:
    case 0xFF534D42UL: // CIFS
    case 0xFE534D42UL: // SMB2
    case CODA_SUPER_MAGIC:
    case AFS_SUPER_MAGIC:
    case V9FS_MAGIC:
    case CEPH_SUPER_MAGIC:
    case 0x65735546UL: // FUSE (sshfs and the like)
    case 0x01161970UL: // GFS2
    case 0x47504653UL: // GPFS
    case 0x0BD00BD0UL: // Lustre
        return false;
    default: return true;
    }
}

WorkingSettings freshFolderSettings()
{
    WorkingSettings s;
    s.portNumber = toInt16(keys::SimulatorPort);
    s.portSettings = keys::SimulatorPortSettings;
    return s;
}

bool stopsOnARecord(int fd)
{
    // Only whole lines are judged: a last line still being written would
    // look faulty for what it does not hold yet.
    std::string whole;
    {
        if (::lseek(fd, 0, SEEK_SET) != 0)
            return false;
        DescriptorStream in(fd);
        whole.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
        const size_t lineEnd = whole.find_last_of("\r\n");
        whole.resize(lineEnd == std::string::npos ? 0 : lineEnd + 1);
    }
    AcceptingControl control;
    SharedState state;
    state.settings = freshFolderSettings();
    std::ostringstream labels;
    ConsoleWindow window(labels);
    SystemClock clock;
    ErrorHandler errors(state, window, clock);
    errors.keepOffDisk = true;
    const ErrorLink link(control, errors, state.settings);
    bool stopped = false;
    RecordWatch watch;
    watch.ended = [&stopped](bool goesOn) { stopped = stopped || !goesOn; };
    std::istringstream in(whole);
    Job job;
    EseguiFileComandi(control, errors, state, clock, job, in, {}, &watch);
    return stopped;
}

Unfinished unfinishedContent(int fd)
{
    struct stat st {};
    if (::fstat(fd, &st) != 0 || st.st_size == 0)
        return Unfinished::Empty;
    char last = 0;
    if (::pread(fd, &last, 1, st.st_size - 1) != 1)
        return Unfinished::Empty;
    if (::lseek(fd, 0, SEEK_SET) != 0)
        return Unfinished::Empty;
    DescriptorStream in(fd);
    RecordReader reader(in);
    std::string record;
    RecordEffect lastDocument = RecordEffect::None;
    RecordEffect lastRecord = RecordEffect::None;
    for (;;) {
        const auto read = reader.next(record);
        if (read == RecordReader::Result::End)
            break;
        lastRecord = recordEffect(std::string_view(record).substr(0, record.find(':')));
        if (lastRecord != RecordEffect::None)
            lastDocument = lastRecord;
    }
    Unfinished why = Unfinished::No;
    if (opensDocument(lastDocument))
        why = Unfinished::DocumentOpen;
    else if (last != '\n' && last != '\r' && lastRecord != RecordEffect::Closes)
        why = Unfinished::LineCut;
    // Waiting cannot mend a file that stops on a faulty record: it runs
    // now, and its failure is on record at once.
    if (why != Unfinished::No && stopsOnARecord(fd))
        return Unfinished::No;
    return why;
}

const char* unfinishedText(Unfinished why)
{
    switch (why) {
    case Unfinished::No:
        break;
    case Unfinished::Empty:
        return "the file is empty";
    case Unfinished::DocumentOpen:
        return "a document is opened (F2, F3, F8 or N1) and no F4 or N3 follows the last opening record";
    case Unfinished::LineCut:
        return "the last line has no line end and its record is no F4 or N3";
    }
    return "";
}

bool Intake::Seen::same(const struct stat& st) const
{
    return device == st.st_dev && inode == st.st_ino && size == st.st_size && modified.tv_sec == st.st_mtim.tv_sec &&
           modified.tv_nsec == st.st_mtim.tv_nsec && changed.tv_sec == st.st_ctim.tv_sec &&
           changed.tv_nsec == st.st_ctim.tv_nsec;
}

Intake::Intake(Clock& clock) : m_clock(clock), m_leaseUsable(onLocalFileSystem) {}

std::chrono::steady_clock::time_point Intake::now() const
{
    return m_clock.steadyNow();
}

Intake::Verdict Intake::check(const std::string& name, int fd, const struct stat& st)
{
    Verdict verdict = Verdict::Writing;
    const LeaseAnswer lease = m_leaseUsable(fd) ? probeWriters(fd) : LeaseAnswer::Unknown;
    if (lease == LeaseAnswer::Free)
        verdict = Verdict::Finished;
    else if (lease == LeaseAnswer::Unknown)
        verdict = settled(name, st);
    else
        m_seen.erase(name); // a writer is there: the settle period starts after it

    bool quietButUnfinished = false;
    if (verdict == Verdict::Finished) {
        verdict = byContent(name, fd, st);
        quietButUnfinished = verdict == Verdict::Writing;
    }

    if (verdict != Verdict::Writing) {
        m_seen.erase(name);
        m_held.erase(name);
        m_content.erase(name);
    } else if (quietButUnfinished) {
        // Held from its last change, as its minute is counted: it runs as it
        // is then, and is never reported as a file still being written.
        m_held.insert_or_assign(name, m_content.at(name).seen.since);
    } else {
        m_held.try_emplace(name, now());
    }
    return verdict;
}

Intake::Verdict Intake::settled(const std::string& name, const struct stat& st)
{
    const auto at = now();
    auto it = m_seen.find(name);
    if (it == m_seen.end() || !it->second.same(st)) {
        Seen seen{st.st_dev, st.st_ino, st.st_size, st.st_mtim, st.st_ctim, at};
        m_seen.insert_or_assign(name, seen);
        return m_settle.count() <= 0 ? Verdict::Finished : Verdict::Writing;
    }
    return at - it->second.since >= m_settle ? Verdict::Finished : Verdict::Writing;
}

Intake::Verdict Intake::byContent(const std::string& name, int fd, const struct stat& st)
{
    auto it = m_content.find(name);
    if (it == m_content.end() || !it->second.seen.same(st)) {
        const Unfinished why = unfinishedContent(fd);
        if (why == Unfinished::No)
            return Verdict::Finished;
        it = m_content.insert_or_assign(name, Content{Seen{st.st_dev, st.st_ino, st.st_size, st.st_mtim, st.st_ctim, now()}, why}).first;
    }
    return now() - it->second.seen.since >= HoldBackLimit ? Verdict::Incomplete : Verdict::Writing;
}

std::chrono::steady_clock::time_point Intake::heldSince(const std::string& name) const
{
    const auto it = m_held.find(name);
    return it == m_held.end() ? now() : it->second;
}

std::optional<std::chrono::steady_clock::time_point> Intake::nextSettled() const
{
    std::optional<std::chrono::steady_clock::time_point> next;
    for (const auto& [name, seen] : m_seen)
        if (!next || seen.since + m_settle < *next)
            next = seen.since + m_settle;
    return next;
}

void Intake::keepOnly(const std::function<bool(const std::string& name)>& listed)
{
    std::erase_if(m_seen, [&](const auto& entry) { return !listed(entry.first); });
    std::erase_if(m_held, [&](const auto& entry) { return !listed(entry.first); });
    std::erase_if(m_content, [&](const auto& entry) { return !listed(entry.first); });
}

DropWatch::DropWatch(const std::filesystem::path& folder, std::function<void()> onChange)
    : m_onChange(std::move(onChange))
{
    m_fd.reset(::inotify_init1(IN_NONBLOCK | IN_CLOEXEC));
    if (!m_fd)
        return;
    if (::inotify_add_watch(m_fd.get(), folder.c_str(), IN_CLOSE_WRITE | IN_MOVED_TO) < 0) {
        m_fd.reset();
        return;
    }
    m_notifier = std::make_unique<QSocketNotifier>(m_fd.get(), QSocketNotifier::Read);
    QObject::connect(m_notifier.get(), &QSocketNotifier::activated, [this] {
        // Only the wake-up counts: the tick looks at the folder itself.
        alignas(inotify_event) char buffer[4096];
        while (::read(m_fd.get(), buffer, sizeof buffer) > 0) {
        }
        if (m_onChange)
            m_onChange();
    });
}

DropWatch::~DropWatch() = default;
