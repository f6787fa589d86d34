#include "record/record_file.h"

#include "platform/system_message.h"

#include <QDir>
#include <QFileInfo>
#include <QStringList>

#include <windows.h>

namespace veltrano {

namespace {

// Names Windows takes for a device whatever the folder and extension ("NUL", "COM3.csv").
bool isDeviceName(const QString& path)
{
    static const QStringList devices{QStringLiteral("CON"), QStringLiteral("PRN"),    QStringLiteral("AUX"),
                                     QStringLiteral("NUL"), QStringLiteral("CONIN$"), QStringLiteral("CONOUT$")};
    const QString base = QFileInfo(path).fileName().section(u'.', 0, 0).trimmed().toUpper();
    if (devices.contains(base))
        return true;
    if (base.size() == 4 && (base.startsWith(QLatin1String("COM")) || base.startsWith(QLatin1String("LPT"))))
        return base.at(3) >= u'0' && base.at(3) <= u'9';
    return false;
}

class WinRecordFile : public RecordFile {
public:
    explicit WinRecordFile(HANDLE file) : file_(file) { }
    ~WinRecordFile() override { CloseHandle(file_); }

    bool isPipe() const override { return false; }

    Written write(const char* data, qint64 size) override
    {
        DWORD put = 0;
        if (WriteFile(file_, data, DWORD(qMin<qint64>(size, 1 << 30)), &put, nullptr) && put > 0)
            return {qint64(put), false, {}};
        return {0, false, systemMessage(GetLastError())};
    }

    void waitWritable(int ms) override { Sleep(DWORD(ms)); }

    bool sync(QString* error) override
    {
        if (FlushFileBuffers(file_))
            return true;
        *error = systemMessage(GetLastError());
        return false;
    }

    void truncate(qint64 size) override
    {
        LARGE_INTEGER at;
        at.QuadPart = size;
        if (SetFilePointerEx(file_, at, nullptr, FILE_BEGIN))
            SetEndOfFile(file_);
    }

private:
    HANDLE file_;
};

} // namespace

std::unique_ptr<RecordFile> RecordFile::open(const QString& path, QString* error)
{
    if (isDeviceName(path)) {
        *error = QStringLiteral("%1 names a device on Windows; choose another name").arg(path);
        return nullptr;
    }
    // CREATE_NEW: an existing name, a link included, is refused in the same call that makes it.
    const std::wstring name = QDir::toNativeSeparators(path).toStdWString();
    const HANDLE file = CreateFileW(name.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_NEW,
                                    FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        const DWORD code = GetLastError();
        *error = code == ERROR_FILE_EXISTS || code == ERROR_ALREADY_EXISTS
                     ? QStringLiteral("%1 exists; a recording never replaces a file").arg(path)
                     : QStringLiteral("%1: %2").arg(path, systemMessage(code));
        return nullptr;
    }
    return std::make_unique<WinRecordFile>(file);
}

void RecordFile::prepareWriterThread() { }

} // namespace veltrano
