#include "core/calendar/ItemJournal.h"

#include "core/model/DebugLog.h"
#include "core/model/PrivateFile.h"

#include <QDir>
#include <QFile>

#include <atomic>
#include <bit>
#include <condition_variable>
#include <csignal>
#include <cstring>
#include <mutex>
#include <system_error>
#include <thread>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/mman.h>
#include <unistd.h>

namespace {

// What a slot of the in-flight file says about its item. A busy slot also holds, above these two
// bits, the how-manieth item of the slot it is, so that the watchdog never takes the item that has
// just begun in a slot for the one it timed there.
enum SlotState : qint32 { idle = 0, busy = 1, crashed = 2, timedOut = 3 };
constexpr qint32 stateBits = 3;

// One slot of the in-flight file: the item one thread is reading. Plain data, written in place.
struct SlotRecord {
    std::atomic<qint32> state;
    qint32 pathLength;
    std::atomic<qint64> startedMs; // this process's steady clock; the watchdog reads it while it changes
    qint64 size;
    qint64 modifiedNs;
    quint64 inode;
    char path[4096 - 40];
};
static_assert(sizeof(SlotRecord) == 4096);
static_assert(std::atomic<qint32>::is_always_lock_free && std::atomic<qint64>::is_always_lock_free);

constexpr int slotCount = 64;
constexpr qint64 fileSize = qint64(sizeof(SlotRecord)) * slotCount;

const QString crashedReason = QStringLiteral("it took the app down");
const QString timedOutReason = QStringLiteral("reading it ran past its time");
const QString notAnswering = QStringLiteral("it didn’t answer in time");
const QString interruptedTwiceReason = QStringLiteral("the app was stopped twice while reading it");

// The slot of the item this thread is reading, for the crash handler.
thread_local SlotRecord* currentSlot = nullptr;

constexpr int crashSignals[] = {SIGSEGV, SIGBUS, SIGILL, SIGFPE, SIGABRT};
struct sigaction previousActions[std::size(crashSignals)];

void onCrash(int signal, siginfo_t*, void*) {
    // Only async-signal-safe work: one store into the mapped file, which outlives the process.
    if (SlotRecord* slot = currentSlot)
        slot->state.store(crashed);
    // Hand the signal on as before: a fault happens again on return and reaches the previous
    // handler (or the default, which ends the process); abort() raises again by itself.
    for (size_t i = 0; i < std::size(crashSignals); ++i) {
        if (crashSignals[i] == signal)
            sigaction(signal, &previousActions[i], nullptr);
    }
}

void installCrashHandler() {
    static std::once_flag once;
    std::call_once(once, [] {
        struct sigaction action;
        std::memset(&action, 0, sizeof action);
        action.sa_sigaction = onCrash;
        action.sa_flags = SA_SIGINFO | SA_ONSTACK;
        sigemptyset(&action.sa_mask);
        for (size_t i = 0; i < std::size(crashSignals); ++i)
            sigaction(crashSignals[i], &action, &previousActions[i]);
    });
}

// A stack overflow can only be noted on a stack of its own.
void ensureSignalStack() {
    thread_local std::unique_ptr<char[]> stack;
    if (stack)
        return;
    stack_t current;
    if (sigaltstack(nullptr, &current) == 0 && !(current.ss_flags & SS_DISABLE)) {
        stack.reset(new char[1]); // the thread has one already (the sanitizers give every thread one)
        return;
    }
    constexpr size_t size = 64 * 1024;
    stack.reset(new char[size]);
    stack_t ours{stack.get(), 0, size};
    sigaltstack(&ours, nullptr);
}

qint64 steadyMs() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

// One line of the list of skipped items: kind, size, modification, inode, reason, path (encoded).
// "skip" lines skip their item; an "interrupted" line waits for a second interruption.
struct Line {
    QByteArray kind;
    ItemJournal::Entry entry;
};

QByteArray encode(const Line& line) {
    const ItemJournal::Entry& e = line.entry;
    return line.kind + '\t' + QByteArray::number(e.stamp.size) + '\t' +
           QByteArray::number(e.stamp.modifiedNs) + '\t' + QByteArray::number(e.stamp.inode) + '\t' +
           e.reason.toUtf8() + '\t' + QFile::encodeName(e.path).toPercentEncoding("/") + '\n';
}

std::optional<Line> decode(const QByteArray& text) {
    const QList<QByteArray> fields = text.split('\t');
    if (fields.size() != 6)
        return std::nullopt;
    Line line;
    line.kind = fields[0];
    bool ok[3] = {};
    line.entry.stamp = {fields[1].toLongLong(&ok[0]), fields[2].toLongLong(&ok[1]),
                        fields[3].toULongLong(&ok[2])};
    line.entry.reason = QString::fromUtf8(fields[4]);
    line.entry.path = QFile::decodeName(QByteArray::fromPercentEncoding(fields[5]));
    if (!ok[0] || !ok[1] || !ok[2] || line.entry.path.isEmpty() ||
        (line.kind != "skip" && line.kind != "interrupted"))
        return std::nullopt;
    return line;
}

// Versions of the lists, of every journal.
std::atomic<quint64> listVersions{0};

} // namespace

struct ItemJournal::Private {
    QString folder;
    std::chrono::milliseconds timeLimit;

    mutable std::mutex listMutex;
    QHash<QString, Line> lines; // by path
    // Of `lines`, changed with it: never the same for two lists, of this journal or another.
    std::atomic<quint64> version{0};

    int inflightFd = -1;
    SlotRecord* records = nullptr;
    quint32 begun[slotCount] = {}; // items begun in each slot, by the thread that holds it
    std::atomic<quint64> freeSlots{~quint64(0)};
    std::atomic<int> busyCount{0};

    std::thread watchdog;
    std::mutex watchMutex;
    std::condition_variable watchWake;
    bool stopping = false;

    QString listPath() const { return folder + QStringLiteral("/skipped"); }

    // Runs `change` on the list as it is on disk now, under a lock shared with other processes,
    // and writes it back when `change` says it changed it. Also takes the list into memory.
    template <typename F> void update(F change) {
        const int lockFd = ::open(QFile::encodeName(folder + QStringLiteral("/lock")).constData(),
                                  O_RDWR | O_CREAT | O_CLOEXEC, 0600);
        if (lockFd >= 0)
            ::flock(lockFd, LOCK_EX);
        QHash<QString, Line> onDisk;
        QFile file(listPath());
        if (file.open(QIODevice::ReadOnly)) {
            for (const QByteArray& text : file.readAll().split('\n')) {
                if (std::optional<Line> line = decode(text))
                    onDisk.insert(line->entry.path, *line);
            }
        }
        if (change(onDisk)) {
            QByteArray bytes;
            for (const Line& line : std::as_const(onDisk))
                bytes += encode(line);
            PrivateFile::write(listPath(), bytes);
        }
        {
            const std::lock_guard lock(listMutex);
            lines = std::move(onDisk);
            version.store(++listVersions, std::memory_order_release);
        }
        if (lockFd >= 0)
            ::close(lockFd); // releases the lock
    }

    // What processes that died were reading: their in-flight files, no longer locked by them.
    QList<std::pair<SlotState, Entry>> harvest() {
        QList<std::pair<SlotState, Entry>> found;
        const QDir dir(folder);
        for (const QString& name : dir.entryList({QStringLiteral("inflight.*")}, QDir::Files)) {
            const QByteArray path = QFile::encodeName(dir.filePath(name));
            const int fd = ::open(path.constData(), O_RDONLY | O_CLOEXEC);
            if (fd < 0)
                continue;
            if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
                ::close(fd); // its process is alive
                continue;
            }
            SlotRecord record;
            for (int i = 0; i < slotCount; ++i) {
                if (::pread(fd, &record, sizeof record, off_t(i) * off_t(sizeof record)) != sizeof record)
                    break;
                const qint32 state = record.state.load();
                if (state == idle || record.pathLength <= 0 || record.pathLength > int(sizeof record.path))
                    continue;
                Entry e{QFile::decodeName(QByteArray(record.path, record.pathLength)),
                        {record.size, record.modifiedNs, record.inode},
                        {}};
                found.append({SlotState(state & stateBits), e});
            }
            ::unlink(path.constData());
            ::close(fd);
        }
        return found;
    }

    void watch() {
        std::unique_lock lock(watchMutex);
        while (!stopping) {
            if (busyCount.load() == 0)
                watchWake.wait(lock);
            else
                watchWake.wait_for(lock, std::chrono::milliseconds(100));
            if (stopping)
                break;
            const qint64 now = steadyMs();
            for (int i = 0; i < slotCount; ++i) {
                SlotRecord& slot = records[i];
                // The start read after the state is that item's or a later one's; the exchange fails
                // once another item has begun in the slot.
                qint32 seen = slot.state.load();
                if ((seen & stateBits) != busy || now - slot.startedMs.load() <= timeLimit.count() ||
                    !slot.state.compare_exchange_strong(seen, timedOut))
                    continue;
                // Noted at once: a process stuck in a library call may well be killed next.
                const Entry e{QFile::decodeName(QByteArray(slot.path, slot.pathLength)),
                              {slot.size, slot.modifiedNs, slot.inode},
                              timedOutReason};
                lock.unlock();
                DebugLog::log([&] { return QStringLiteral("calendar: %1: %2").arg(e.path, e.reason); });
                update([&](QHash<QString, Line>& list) {
                    list.insert(e.path, Line{"skip", e});
                    return true;
                });
                lock.lock();
            }
        }
    }
};

QString ItemJournal::defaultFolder() {
    return DebugLog::stateFolder() + QStringLiteral("/calendar-journal");
}

std::shared_ptr<ItemJournal> ItemJournal::open(const QString& folder, std::chrono::milliseconds timeLimit) {
    static std::mutex mutex;
    static QHash<QString, std::weak_ptr<ItemJournal>> journals;
    const std::lock_guard lock(mutex);
    const QString key = QDir::cleanPath(QDir(folder).absolutePath());
    if (std::shared_ptr<ItemJournal> journal = journals.value(key).lock())
        return journal;
    std::shared_ptr<ItemJournal> journal(new ItemJournal(key, timeLimit));
    journals.insert(key, journal);
    return journal;
}

ItemJournal::ItemJournal(const QString& folder, std::chrono::milliseconds timeLimit)
    : d(std::make_unique<Private>()) {
    d->folder = folder;
    d->timeLimit = timeLimit;
    PrivateFile::makeFolder(folder);
    PrivateFile::makePrivate(folder);

    const QList<std::pair<SlotState, Entry>> found = d->harvest();
    d->update([&](QHash<QString, Line>& list) {
        for (const auto& [state, entry] : found) {
            Line line{"skip", entry};
            if (state == crashed) {
                line.entry.reason = crashedReason;
            } else if (state == timedOut) {
                line.entry.reason = timedOutReason;
            } else {
                // Stopped from outside while reading it: perhaps its fault, perhaps not. One the
                // reader had given up on already (it never came back) stays skipped.
                const Line known = list.value(entry.path);
                if (known.kind == "skip" && known.entry.stamp == entry.stamp)
                    continue;
                if (known.kind != "interrupted" || known.entry.stamp != entry.stamp)
                    line.kind = "interrupted";
                line.entry.reason = interruptedTwiceReason;
            }
            list.insert(entry.path, line);
        }
        // An item is skipped until its file changes.
        const qsizetype gone = list.removeIf([](const QHash<QString, Line>::iterator it) {
            return ItemFile::stamp(it.key()) != std::optional<FileStamp>(it->entry.stamp);
        });
        // Most starts find nothing new: the list stays as it is on disk, not written again.
        return !found.isEmpty() || gone > 0;
    });
    for (const auto& item : found) {
        const QString& path = item.second.path;
        const QString reason = skipReason(path, item.second.stamp);
        if (!reason.isEmpty())
            DebugLog::log([&] { return QStringLiteral("calendar: skipping %1: %2").arg(path, reason); });
    }

    // This process's in-flight file, locked for as long as the process lives.
    const QByteArray path = QFile::encodeName(folder + QStringLiteral("/inflight.%1").arg(::getpid()));
    d->inflightFd = ::open(path.constData(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (d->inflightFd >= 0 && ::flock(d->inflightFd, LOCK_EX | LOCK_NB) == 0 &&
        ::ftruncate(d->inflightFd, fileSize) == 0) {
        void* map = ::mmap(nullptr, fileSize, PROT_READ | PROT_WRITE, MAP_SHARED, d->inflightFd, 0);
        if (map != MAP_FAILED)
            d->records = static_cast<SlotRecord*>(map);
    }
    if (!d->records) {
        // Reading goes on without a journal: the items are read as before, only not watched.
        DebugLog::log([&] { return QStringLiteral("calendar: no journal in %1").arg(folder); });
        if (d->inflightFd >= 0)
            ::close(d->inflightFd);
        d->inflightFd = -1;
        return;
    }
    installCrashHandler();
    try {
        d->watchdog = std::thread([this] { d->watch(); });
    } catch (const std::system_error&) {
        // Past the user's limit on threads: the items are read without their time watched, rather
        // than the app ending.
        DebugLog::log([] { return QStringLiteral("calendar: no thread to watch the items' reading"); });
    }
}

ItemJournal::~ItemJournal() {
    if (d->watchdog.joinable()) {
        {
            const std::lock_guard lock(d->watchMutex);
            d->stopping = true;
        }
        d->watchWake.notify_all();
        d->watchdog.join();
    }
    if (d->records) {
        ::munmap(d->records, fileSize);
        ::unlink(QFile::encodeName(d->folder + QStringLiteral("/inflight.%1").arg(::getpid())).constData());
        ::close(d->inflightFd);
    }
}

QString ItemJournal::pastItsTimeReason() {
    return timedOutReason;
}

QString ItemJournal::notAnsweringReason() {
    return notAnswering;
}

QString ItemJournal::skipReason(const QString& path, const FileStamp& stamp) const {
    const std::optional<Entry> entry = skipping(path);
    return entry && entry->stamp == stamp ? entry->reason : QString();
}

std::optional<ItemJournal::Entry> ItemJournal::skipping(const QString& path) const {
    // Asked by every reading thread for every item: each looks in a copy of its own, taken again
    // only once the list has changed, rather than all taking the lock.
    struct Copy {
        quint64 version = 0;
        QHash<QString, Line> lines;
    };
    thread_local Copy copy;
    if (copy.version != d->version.load(std::memory_order_acquire)) {
        const std::lock_guard lock(d->listMutex);
        copy.lines = d->lines;
        copy.version = d->version.load(std::memory_order_relaxed);
    }
    const auto it = copy.lines.constFind(path);
    if (it == copy.lines.constEnd() || it->kind != "skip")
        return std::nullopt;
    return it->entry;
}

QList<ItemJournal::Entry> ItemJournal::skipped() const {
    const std::lock_guard lock(d->listMutex);
    QList<Entry> out;
    for (const Line& line : std::as_const(d->lines)) {
        if (line.kind == "skip")
            out.append(line.entry);
    }
    std::sort(out.begin(), out.end(), [](const Entry& a, const Entry& b) { return a.path < b.path; });
    return out;
}

void ItemJournal::skip(const QString& path, const FileStamp& stamp, const QString& reason) {
    d->update([&](QHash<QString, Line>& list) {
        list.insert(path, Line{"skip", {path, stamp, reason}});
        return true;
    });
}

void ItemJournal::unskip(const QString& path, const FileStamp& stamp, const QString& reason) {
    d->update([&](QHash<QString, Line>& list) {
        const auto it = list.constFind(path);
        if (it == list.constEnd() || it->kind != "skip" || it->entry.stamp != stamp ||
            it->entry.reason != reason)
            return false;
        list.erase(it);
        return true;
    });
}

ItemJournal::Scope ItemJournal::begin(const QString& path, const FileStamp& stamp) {
    if (!d->records)
        return Scope(this, -1);
    quint64 free = d->freeSlots.load();
    int slot = -1;
    while (free) {
        const int candidate = std::countr_zero(free);
        if (d->freeSlots.compare_exchange_weak(free, free & ~(quint64(1) << candidate))) {
            slot = candidate;
            break;
        }
    }
    if (slot < 0)
        return Scope(this, -1); // more threads than slots: this item goes unwatched
    ensureSignalStack();
    SlotRecord& record = d->records[slot];
    const QByteArray name = QFile::encodeName(path).left(int(sizeof record.path));
    std::memcpy(record.path, name.constData(), size_t(name.size()));
    record.pathLength = qint32(name.size());
    record.size = stamp.size;
    record.modifiedNs = stamp.modifiedNs;
    record.inode = stamp.inode;
    record.startedMs = steadyMs();
    const quint32 count = ++d->begun[slot];
    record.state.store(qint32((count << 2) & 0x7ffffffc) | busy);
    currentSlot = &record;
    if (d->busyCount.fetch_add(1) == 0) {
        const std::lock_guard lock(d->watchMutex);
        d->watchWake.notify_all();
    }
    return Scope(this, slot);
}

ItemJournal::Scope::Scope(ItemJournal* journal, int slot)
    : m_journal(journal)
    , m_slot(slot) {}

ItemJournal::Scope::Scope(Scope&& other) noexcept
    : m_journal(other.m_journal)
    , m_slot(std::exchange(other.m_slot, -1)) {}

ItemJournal::Scope::~Scope() {
    if (m_slot < 0)
        return;
    Private& d = *m_journal->d;
    currentSlot = nullptr;
    d.records[m_slot].state.store(idle);
    d.busyCount.fetch_sub(1);
    d.freeSlots.fetch_or(quint64(1) << m_slot);
}

bool ItemJournal::Scope::timedOut() const {
    return m_slot >= 0 && m_journal->d->records[m_slot].state.load() == SlotState::timedOut;
}
