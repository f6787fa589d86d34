#include "serial/registry_file.h"

#include <QDir>
#include <QFileInfo>
#include <QSaveFile>

#ifdef Q_OS_UNIX
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace veltrano {

#ifdef Q_OS_UNIX

namespace {

QString systemError(int error) { return QString::fromLocal8Bit(std::strerror(error)); }

// Reads up to kRegistryMaxBytes + 1 bytes, so that a larger file shows as one.
bool readBounded(int fd, QByteArray* text)
{
    text->resize(kRegistryMaxBytes + 1);
    qint64 filled = 0;
    while (filled < text->size()) {
        const ssize_t got = ::read(fd, text->data() + filled, size_t(text->size() - filled));
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0)
            return false;
        if (got == 0)
            break;
        filled += got;
    }
    text->resize(filled);
    return true;
}

bool writeAll(int fd, const QByteArray& content)
{
    qint64 done = 0;
    while (done < content.size()) {
        const ssize_t put = ::write(fd, content.constData() + done, size_t(content.size() - done));
        if (put < 0 && errno == EINTR)
            continue;
        if (put <= 0)
            return false;
        done += put;
    }
    return ::fsync(fd) == 0;
}

// rename() without replacing what is at `to`; a link is moved as the link.
bool renameNoReplace(const QByteArray& from, const QByteArray& to)
{
#ifdef RENAME_NOREPLACE
    if (::renameat2(AT_FDCWD, from.constData(), AT_FDCWD, to.constData(), RENAME_NOREPLACE) == 0)
        return true;
    if (errno != EINVAL && errno != ENOSYS)
        return false;
#endif
    // Where the filesystem cannot: a second name for the entry (link() does not follow a
    // symbolic link on Linux), then the first name goes.
    if (::link(from.constData(), to.constData()) != 0)
        return false;
    return ::unlink(from.constData()) == 0;
}

// A new file beside `file`, filled and synced, then given the name `file` only if nothing
// holds that name by then.
bool createNew(const QString& file, const QByteArray& content, QString* error)
{
    const QFileInfo info(file);
    if (!QDir().mkpath(info.absolutePath())) {
        *error = QStringLiteral("cannot make the folder %1").arg(info.absolutePath());
        return false;
    }
    const QByteArray path = QFile::encodeName(info.absoluteFilePath());
    int fd = -1;
    QByteArray temporary;
    for (int attempt = 0; attempt < 100 && fd < 0; ++attempt) {
        temporary = path + ".new." + QByteArray::number(qint64(::getpid())) + '.' + QByteArray::number(attempt);
        fd = ::open(temporary.constData(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644);
        if (fd < 0 && errno != EEXIST) {
            *error = systemError(errno);
            return false;
        }
    }
    if (fd < 0) {
        *error = QStringLiteral("no free temporary name");
        return false;
    }
    const bool written = writeAll(fd, content);
    const int writeError = errno;
    ::close(fd);
    const bool named = written && ::link(temporary.constData(), path.constData()) == 0;
    const int nameError = errno;
    ::unlink(temporary.constData());
    if (!named)
        *error = systemError(written ? nameError : writeError);
    return named;
}

} // namespace

RegistryEntry readRegistryEntry(const QString& file)
{
    RegistryEntry entry;
    const QByteArray path = QFile::encodeName(file);
    struct stat st { };
    if (::lstat(path.constData(), &st) != 0) {
        if (errno != ENOENT) {
            entry.kind = RegistryEntry::Kind::Unreadable;
            entry.why = systemError(errno);
        }
        return entry;
    }
    entry.isLink = S_ISLNK(st.st_mode);
    if (!entry.isLink && !S_ISREG(st.st_mode)) {
        entry.kind = RegistryEntry::Kind::Unreadable;
        entry.why = S_ISDIR(st.st_mode) ? QStringLiteral("a folder stands there") : QStringLiteral("not a file");
        return entry;
    }
    // Non-blocking, so that a link to a FIFO or a device cannot stall the search.
    const int fd = ::open(path.constData(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) {
        const int error = errno;
        const bool leadsNowhere = entry.isLink && (error == ENOENT || error == ELOOP || error == ENOTDIR);
        entry.kind = leadsNowhere ? RegistryEntry::Kind::NotAFile : RegistryEntry::Kind::Unreadable;
        entry.why = leadsNowhere ? QStringLiteral("a link to nothing") : systemError(error);
        return entry;
    }
    struct stat opened { };
    if (::fstat(fd, &opened) != 0 || !S_ISREG(opened.st_mode)) {
        ::close(fd);
        entry.kind = entry.isLink ? RegistryEntry::Kind::NotAFile : RegistryEntry::Kind::Unreadable;
        entry.why = QStringLiteral("a link to something that is not a file");
        return entry;
    }
    if (entry.isLink)
        entry.target = QFileInfo(file).canonicalFilePath();
    const bool read = readBounded(fd, &entry.text);
    const int error = errno;
    ::close(fd);
    if (!read) {
        entry.kind = RegistryEntry::Kind::Unreadable;
        entry.why = systemError(error);
        entry.text.clear();
        return entry;
    }
    entry.kind = RegistryEntry::Kind::File;
    return entry;
}

QString moveRegistryAside(const QString& file, QString* error)
{
    const QByteArray from = QFile::encodeName(file);
    for (int n = 0; n < 100; ++n) {
        const QString name = n == 0 ? file + QStringLiteral(".damaged")
                                    : QStringLiteral("%1.damaged.%2").arg(file).arg(n);
        if (renameNoReplace(from, QFile::encodeName(name)))
            return name;
        if (errno != EEXIST) {
            *error = systemError(errno);
            return {};
        }
    }
    *error = QStringLiteral("%1.damaged to .damaged.99 all exist").arg(file);
    return {};
}

bool writeRegistryEntry(const QString& file, const RegistryEntry& entry, const QByteArray& content, QString* error)
{
    if (entry.kind != RegistryEntry::Kind::File)
        return createNew(file, content, error);
    // The file a link leads to is ours too (a dotfile manager's link): replace it there.
    QSaveFile out(entry.isLink ? entry.target : file);
    if (out.open(QIODevice::WriteOnly) && out.write(content) == content.size() && out.commit())
        return true;
    *error = out.errorString();
    return false;
}

#else

// The number file is a Linux matter: elsewhere the system's own names are used.
RegistryEntry readRegistryEntry(const QString&)
{
    return {RegistryEntry::Kind::Unreadable, false, {}, {}, QStringLiteral("no number file on this system")};
}

QString moveRegistryAside(const QString&, QString* error)
{
    *error = QStringLiteral("no number file on this system");
    return {};
}

bool writeRegistryEntry(const QString&, const RegistryEntry&, const QByteArray&, QString* error)
{
    *error = QStringLiteral("no number file on this system");
    return false;
}

#endif

} // namespace veltrano
