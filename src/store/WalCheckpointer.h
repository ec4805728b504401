#pragma once
// Copies the committed pages of the write-ahead log back into the database
// file on a thread of its own, through a connection of its own.
//
// The engine would otherwise make the copy inside the commit that lets the
// log grow past its limit: a command over every row would wait for a second
// write of the whole table. Here the command returns once its pages are in
// the log (and on the disk: the log is synchronised at every commit), and
// the copy follows while the window goes on. The engine keeps the file
// whole across a kill at any moment of the copy, so moving it changes
// nothing of what is kept.
//
// Only passive copies are made: they never wait for, nor block, the
// program's own reading and writing. What one copy cannot take is taken by
// the next, or by the engine when the program's connection closes.

#include <QByteArray>

#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <thread>

struct sqlite3;

namespace orvane::store {

class WalCheckpointer {
public:
    // `path`: the database file as the engine names it (UTF-8).
    explicit WalCheckpointer(QByteArray path);
    // Waits for a copy under way, then closes the connection.
    ~WalCheckpointer();
    WalCheckpointer(const WalCheckpointer&) = delete;
    WalCheckpointer& operator=(const WalCheckpointer&) = delete;

    // Asks for a copy and returns at once; requests made while a copy runs
    // are served by one more copy.
    void request();
    // Returns once every copy requested so far has been made.
    void waitIdle();
    // Copies made so far (a copy the engine refused counts too).
    std::uint64_t copiesMade() const;

private:
    void run();
    void copy();

    const QByteArray m_path;
    sqlite3* m_db = nullptr;   // used by the thread only
    mutable std::mutex m_mutex;
    std::condition_variable m_wake;
    std::condition_variable m_idle;
    std::uint64_t m_requested = 0;
    std::uint64_t m_made = 0;
    bool m_stop = false;
    std::thread m_thread;
};

} // namespace orvane::store
