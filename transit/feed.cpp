#include "feed.h"

#include <zip.h>

#include <cerrno>
#include <algorithm>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace transit {

namespace {

std::string inQuotes(std::string_view text)
{
    return "„" + std::string(text) + "“";
}

std::string reasonOf(zip_error_t* error)
{
    return zipReason(zip_error_code_zip(error), zip_error_code_system(error));
}

std::string mebibytes(std::uint64_t bytes)
{
    return std::to_string(bytes >> 20) + " MB";
}

// --- a folder -----------------------------------------------------------

class FolderFile : public FeedFile {
public:
    FolderFile(int fd, std::string name) : fd_(fd), name_(std::move(name)) {}
    ~FolderFile() override { ::close(fd_); }

    std::size_t read(char* buffer, std::size_t size) override
    {
        for (;;) {
            const ssize_t count = ::read(fd_, buffer, size);
            if (count >= 0)
                return std::size_t(count);
            if (errno != EINTR)
                throw Error(inQuotes(name_) + " kann nicht gelesen werden: " + systemReason(errno));
        }
    }

private:
    int fd_;
    std::string name_;
};

class Folder : public Feed {
public:
    explicit Folder(std::string path) : path_(std::move(path)) {}

    bool has(std::string_view name) const override
    {
        struct stat status {};
        return ::stat(pathOf(name).c_str(), &status) == 0 && S_ISREG(status.st_mode);
    }

    std::unique_ptr<FeedFile> openFile(std::string_view name) override
    {
        const std::string path = pathOf(name);
        // Non-blocking, so that a named pipe cannot hang the open; only a
        // regular file is read.
        const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
        if (fd < 0)
            throw Error(errno == ENOENT ? "im Feed fehlt die Datei " + std::string(name)
                                        : inQuotes(path) + " kann nicht geöffnet werden: " + systemReason(errno));
        struct stat status {};
        if (::fstat(fd, &status) != 0 || !S_ISREG(status.st_mode)) {
            ::close(fd);
            throw Error(inQuotes(path) + " ist keine gewöhnliche Datei");
        }
        ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
        ::posix_fadvise(fd, 0, 0, POSIX_FADV_SEQUENTIAL);
        return std::make_unique<FolderFile>(fd, std::string(name));
    }

private:
    std::string pathOf(std::string_view name) const { return path_ + "/" + std::string(name); }
    std::string path_;
};

// --- a zip --------------------------------------------------------------

struct Budget {
    Limits limits;
    std::uint64_t unpacked = 0;
};

class ZipFile : public FeedFile {
public:
    ZipFile(zip_file_t* file, std::string name, std::uint64_t packedSize, Budget& budget)
        : file_(file), name_(std::move(name)), packedSize_(packedSize), budget_(budget)
    {
    }
    ~ZipFile() override { zip_fclose(file_); }

    std::size_t read(char* buffer, std::size_t size) override
    {
        const zip_int64_t count = zip_fread(file_, buffer, size);
        if (count < 0)
            throw Error(name_ + " im Zip kann nicht entpackt werden: " + reasonOf(zip_file_get_error(file_)));
        unpacked_ += std::uint64_t(count);
        budget_.unpacked += std::uint64_t(count);
        const Limits& limits = budget_.limits;
        // Checked as the bytes come, not from the sizes the zip's directory
        // states: those are the zip maker's word.
        if (budget_.unpacked > limits.unpackedBytes)
            throw Error("der Feed entpackt zu mehr als " + mebibytes(limits.unpackedBytes)
                        + " und wird als Zip-Bombe abgelehnt");
        if (unpacked_ >= limits.ratioCheckFrom && unpacked_ / std::max<std::uint64_t>(packedSize_, 1) > limits.maxRatio)
            throw Error(name_ + " im Zip entpackt auf mehr als das " + std::to_string(limits.maxRatio)
                        + "-Fache und wird als Zip-Bombe abgelehnt");
        return std::size_t(count);
    }

private:
    zip_file_t* file_;
    std::string name_;
    std::uint64_t packedSize_;
    std::uint64_t unpacked_ = 0;
    Budget& budget_;
};

class Zip : public Feed {
public:
    Zip(zip_t* archive, std::unique_ptr<std::string> bytes, Limits limits)
        : archive_(archive), bytes_(std::move(bytes))
    {
        budget_.limits = limits;
    }
    ~Zip() override { zip_discard(archive_); }

    bool has(std::string_view name) const override { return locate(name) >= 0; }

    std::unique_ptr<FeedFile> openFile(std::string_view name) override
    {
        const zip_int64_t index = locate(name);
        if (index < 0)
            throw Error("im Feed fehlt die Datei " + std::string(name));
        zip_stat_t status;
        zip_stat_init(&status);
        if (zip_stat_index(archive_, zip_uint64_t(index), 0, &status) != 0)
            throw Error(std::string(name) + " im Zip ist beschädigt: " + reasonOf(zip_get_error(archive_)));
        zip_file_t* file = zip_fopen_index(archive_, zip_uint64_t(index), 0);
        if (!file)
            throw Error(std::string(name) + " im Zip kann nicht entpackt werden: " + reasonOf(zip_get_error(archive_)));
        const std::uint64_t packed = (status.valid & ZIP_STAT_COMP_SIZE) ? status.comp_size : 0;
        return std::make_unique<ZipFile>(file, std::string(name), packed, budget_);
    }

private:
    // The name at the top, or else in one folder inside, as some agencies
    // pack their feed.
    zip_int64_t locate(std::string_view name) const
    {
        const std::string wanted(name);
        const zip_int64_t top = zip_name_locate(archive_, wanted.c_str(), 0);
        if (top >= 0)
            return top;
        return zip_name_locate(archive_, wanted.c_str(), ZIP_FL_NODIR);
    }

    zip_t* archive_;
    std::unique_ptr<std::string> bytes_; // what a zip in memory is read from, where it stays
    Budget budget_;
};

// Why a zip cannot be opened. A file that begins as a zip does (its first
// member's header) but whose directory at the end cannot be found was cut
// off or damaged, not some other kind of file.
std::string zipFailure(int code, std::string_view start, int systemCode)
{
    switch (code) {
#ifdef ZIP_ER_TRUNCATED_ZIP
    // Said so by libzip 1.11 (Debian 13); older ones call it no zip.
    case ZIP_ER_TRUNCATED_ZIP:
#endif
    case ZIP_ER_NOZIP:
        return start.starts_with("PK\x03\x04") ? "ist als Zip-Datei beschädigt oder abgeschnitten"
                                               : "ist keine Zip-Datei";
    case ZIP_ER_INCONS:
        return "ist als Zip-Datei beschädigt";
    case ZIP_ER_MEMORY:
        return "braucht mehr Arbeitsspeicher, als da ist";
    default:
        return "kann nicht als Zip gelesen werden: " + zipReason(code, systemCode);
    }
}

// The first bytes of the file at `path`, for zipFailure.
std::string startOf(const std::string& path)
{
    char bytes[4] = {};
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    const ssize_t count = fd >= 0 ? ::read(fd, bytes, sizeof bytes) : -1;
    if (fd >= 0)
        ::close(fd);
    return std::string(bytes, std::size_t(std::max<ssize_t>(count, 0)));
}

} // namespace

std::unique_ptr<Feed> Feed::open(const std::string& path, Limits limits)
{
    struct stat status {};
    if (::stat(path.c_str(), &status) != 0)
        throw Error(inQuotes(path) + (errno == ENOENT ? " gibt es nicht" : std::string(" kann nicht gelesen werden: ") + systemReason(errno)));
    if (S_ISDIR(status.st_mode))
        return std::make_unique<Folder>(path);
    if (!S_ISREG(status.st_mode))
        throw Error(inQuotes(path) + " ist weder eine Zip-Datei noch ein Ordner");
    int code = 0;
    zip_t* archive = zip_open(path.c_str(), ZIP_RDONLY | ZIP_CHECKCONS, &code);
    if (!archive) {
        const int systemCode = errno;
        throw Error(inQuotes(path) + " " + zipFailure(code, startOf(path), systemCode));
    }
    return std::make_unique<Zip>(archive, nullptr, limits);
}

std::unique_ptr<Feed> Feed::fromZipBytes(std::string bytes, Limits limits)
{
    zip_error_t error;
    zip_error_init(&error);
    // The bytes live on the heap, where the feed keeps them for the source.
    auto holder = std::make_unique<std::string>(std::move(bytes));
    zip_source_t* source = zip_source_buffer_create(holder->data(), holder->size(), 0, &error);
    if (!source) {
        zip_error_fini(&error);
        throw Error("der Feed braucht mehr Arbeitsspeicher, als da ist");
    }
    zip_t* archive = zip_open_from_source(source, ZIP_RDONLY | ZIP_CHECKCONS, &error);
    if (!archive) {
        const int code = zip_error_code_zip(&error);
        const int systemCode = zip_error_code_system(&error);
        zip_source_free(source);
        zip_error_fini(&error);
        throw Error("der Feed " + zipFailure(code, *holder, systemCode));
    }
    zip_error_fini(&error);
    return std::make_unique<Zip>(archive, std::move(holder), limits);
}

} // namespace transit
