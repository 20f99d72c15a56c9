// Data files and CSV files read from paths.
#pragma once

#include "core/scan.hpp"
#include "io/orvfile_records.hpp"

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <exception>
#include <map>
#include <mutex>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

namespace orvanalysis::io {

// The largest file read: far beyond any instrument's data, and the end of reading a stream that
// never ends.
inline constexpr std::uint64_t max_file_bytes = std::uint64_t{1} << 30;

// Every byte of the file. A file that cannot be opened or read throws a std::ios_base::failure
// whose message is "Could not open file for reading: " and the path; a path holding a NUL byte
// std::invalid_argument, and a file of more than max_file_bytes std::length_error. Paths appear
// in messages as valid UTF-8, bytes that are not escaped as \xNN.
std::vector<std::uint8_t> read_file_bytes(const std::string& file_path);

OrvFile load_orvfile(const std::string& file_path);

// A path that names a folder, FIFO, device or socket where a regular file was wanted. Such a
// path is refused from its status alone: opening a FIFO waits for a writer that may never come.
class NotARegularFile : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// One file of a FileLoader: its contents, or what stopped its reading.
struct LoadedOrvFile {
    OrvFile file;
    std::exception_ptr error;
};

// Files read by load_orvfile on `threads` threads, the caller's among them, while the caller
// takes them in order and does with each what it must: its work on one file overlaps the
// reading of the next. take reads files itself until the one it takes is read, and returns a
// file another thread read as a copy made on the caller's thread, so that the caller's results
// hold none of the other threads' memory. Nothing is thrown for a file: its exception is kept in
// its error, a path that is not a regular file refused unopened with NotARegularFile.
class FileLoader {
public:
    FileLoader(std::vector<std::string> paths, unsigned threads);
    // Waits for the files being read (at most one per thread); the others are never read.
    ~FileLoader();
    FileLoader(const FileLoader&) = delete;
    FileLoader& operator=(const FileLoader&) = delete;

    std::size_t size() const { return paths_.size(); }
    // Whether file i is read, so that take(i) returns without waiting.
    bool ready(std::size_t i);
    // File i, waiting for it if need be; each i is taken once.
    LoadedOrvFile take(std::size_t i);

private:
    void work();

    std::vector<std::string> paths_;
    std::vector<LoadedOrvFile> loaded_;
    std::vector<bool> ready_;           // guarded by mutex_
    std::vector<bool> by_worker_;       // guarded by mutex_: read by another thread than the caller
    std::vector<LoadedOrvFile> spent_;  // guarded by mutex_: taken, for the threads to free
    std::vector<std::uint8_t> bytes_;   // the caller's buffer
    std::mutex mutex_;
    std::condition_variable loaded_one_;
    std::atomic<std::size_t> next_{0};
    std::atomic<bool> stopping_{false};
    std::vector<std::thread> workers_;
};
std::map<std::string, Scan> load_orv_scan_data(const std::string& file_path);
std::string orvfile_to_json(const std::string& file_path, int indent, bool ensure_ascii);

// read_csv (csv.hpp) of the file, its errors naming the path; the file errors as above.
Scan load_csv(const std::string& file_path);

}  // namespace orvanalysis::io
