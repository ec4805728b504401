#include "store/WalCheckpointer.h"

#include <sqlite3.h>

namespace orvane::store {

WalCheckpointer::WalCheckpointer(QByteArray path) : m_path(std::move(path))
{
    m_thread = std::thread([this] { run(); });
}

WalCheckpointer::~WalCheckpointer()
{
    {
        std::lock_guard lock(m_mutex);
        m_stop = true;
    }
    m_wake.notify_one();
    m_thread.join();
}

void WalCheckpointer::request()
{
    {
        std::lock_guard lock(m_mutex);
        ++m_requested;
    }
    m_wake.notify_one();
}

void WalCheckpointer::waitIdle()
{
    std::unique_lock lock(m_mutex);
    const std::uint64_t wanted = m_requested;
    m_idle.wait(lock, [&] { return m_made >= wanted || m_stop; });
}

std::uint64_t WalCheckpointer::copiesMade() const
{
    std::lock_guard lock(m_mutex);
    return m_made;
}

void WalCheckpointer::run()
{
    std::unique_lock lock(m_mutex);
    for (;;) {
        m_wake.wait(lock, [this] { return m_stop || m_made < m_requested; });
        if (m_stop)
            break;
        // Every request up to here is served by this one copy.
        const std::uint64_t serving = m_requested;
        lock.unlock();
        copy();
        lock.lock();
        m_made = serving;
        m_idle.notify_all();
    }
    if (m_db)
        sqlite3_close_v2(m_db);
    m_db = nullptr;
    m_idle.notify_all();
}

void WalCheckpointer::copy()
{
    if (!m_db) {
        // Never creates the file; a file that cannot be opened is simply
        // left to the engine's copy at close.
        if (sqlite3_open_v2(m_path.constData(), &m_db, SQLITE_OPEN_READWRITE, nullptr) != SQLITE_OK) {
            sqlite3_close_v2(m_db);
            m_db = nullptr;
            return;
        }
        // The copy puts the log on the disk before the file, and the file
        // before the log may start again, as the program's commits do.
        sqlite3_exec(m_db, "PRAGMA synchronous=FULL", nullptr, nullptr, nullptr);
    }
    // A refused copy (another copy runs, the file is locked) is left to the
    // next request; nothing is lost by it.
    sqlite3_wal_checkpoint_v2(m_db, "main", SQLITE_CHECKPOINT_PASSIVE, nullptr, nullptr);
}

} // namespace orvane::store
