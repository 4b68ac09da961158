#include "ui/training/TrainingLog.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>
#include <QStringList>
#include <charconv>
#include <cmath>
#include <string>

#include "core/Notify.h"

namespace {

const QString kHeader = QStringLiteral("time,hours,charge_Wh,discharge_Wh,battery_V");
const QString kDevicePrefix = QStringLiteral("# device: ");
const QString kEnded = QStringLiteral("# ended");

// The shortest text that reads back as the same number, always with a point.
template <typename T> QString Number(T value)
{
    char buf[64];
    const auto r = std::to_chars(buf, buf + sizeof buf, value);
    return QString::fromLatin1(buf, static_cast<int>(r.ptr - buf));
}

QString Optional(const std::optional<float> &value)
{
    return value ? Number(*value) : QString();
}

template <typename T> bool ParseNumber(const QString &text, T &value)
{
    const std::string s = text.trimmed().toStdString();
    if (s.empty())
        return false;
    const auto r = std::from_chars(s.data(), s.data() + s.size(), value);
    return r.ec == std::errc() && r.ptr == s.data() + s.size();
}

bool ParseOptional(const QString &text, std::optional<float> &value)
{
    if (text.trimmed().isEmpty()) {
        value.reset();
        return true;
    }
    float v = 0;
    if (!ParseNumber(text, v))
        return false;
    value = v;
    return true;
}

void ShowText(const QString &text)
{
    ShowMessageBox(std::u16string_view(reinterpret_cast<const char16_t *>(text.utf16()), text.size()));
}

}  // namespace

namespace TrainingCsv {

QString Header()
{
    return kHeader;
}

QString Line(const TrainingPoint &p)
{
    const QString time = QDateTime::fromSecsSinceEpoch(p.Time).toString(Qt::ISODate);
    return QStringList{time, Number(p.Hours), Optional(p.Charge), Optional(p.Discharge), Optional(p.Voltage)}.join(
        QLatin1Char(','));
}

QString Text(const std::vector<TrainingPoint> &points)
{
    QString text = kHeader + QLatin1Char('\n');
    for (const TrainingPoint &p : points)
        text += Line(p) + QLatin1Char('\n');
    return text;
}

std::optional<TrainingLogFile> ParseLog(const QString &text)
{
    const QStringList lines = text.split(QLatin1Char('\n'));
    if (lines.isEmpty() || lines.front().trimmed() != kHeader)
        return std::nullopt;
    TrainingLogFile log;
    for (int i = 1; i < lines.size(); ++i) {
        const QString line = lines[i].trimmed();
        if (line.startsWith(QLatin1Char('#'))) {
            if (line.startsWith(kDevicePrefix))
                log.Device = line.mid(kDevicePrefix.size()).trimmed();
            else if (line == kEnded)
                log.Ended = true;
            continue;
        }
        const QStringList f = line.split(QLatin1Char(','));
        if (f.size() != 5)
            continue;
        TrainingPoint p;
        const QDateTime time = QDateTime::fromString(f[0].trimmed(), Qt::ISODate);
        if (!time.isValid() || !ParseNumber(f[1], p.Hours) || !ParseOptional(f[2], p.Charge) ||
            !ParseOptional(f[3], p.Discharge) || !ParseOptional(f[4], p.Voltage))
            continue;
        p.Time = time.toSecsSinceEpoch();
        log.Points.push_back(p);
    }
    return log;
}

bool Write(const QString &path, const std::vector<TrainingPoint> &points)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return false;
    const QByteArray bytes = Text(points).toUtf8();
    return file.write(bytes) == bytes.size() && file.flush();
}

std::optional<TrainingLogFile> ReadLog(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    return ParseLog(QString::fromUtf8(file.readAll()));
}

std::optional<std::vector<TrainingPoint>> Read(const QString &path)
{
    auto log = ReadLog(path);
    if (!log)
        return std::nullopt;
    return std::move(log->Points);
}

}  // namespace TrainingCsv

std::optional<ResumableLog> FindResumableLog(const QString &folder, const QString &device, int64_t now,
                                             int64_t maxAgeSec)
{
    if (device.isEmpty())
        return std::nullopt;
    const QFileInfoList logs = QDir(folder).entryInfoList({QStringLiteral("training-*.csv")}, QDir::Files, QDir::Time);
    if (logs.isEmpty())
        return std::nullopt;
    // Only the newest: an older log never ended belongs to a training long gone (the
    // program closed, then the device trained without it).
    const QString path = logs.front().filePath();
    auto log = TrainingCsv::ReadLog(path);
    if (!log || log->Ended || log->Device != device || log->Points.empty())
        return std::nullopt;
    const TrainingPoint &last = log->Points.back();
    if (last.Time > now || now - last.Time > maxAgeSec)
        return std::nullopt;
    const TrainingPoint &first = log->Points.front();
    ResumableLog r;
    r.Path = path;
    r.StartTime = first.Time - std::llround(first.Hours * 3600.0);
    r.Points = std::move(log->Points);
    return r;
}

TrainingLog::TrainingLog(QString folder) : folder_(std::move(folder))
{
    if (folder_.isEmpty())
        folder_ = QStandardPaths::writableLocation(QStandardPaths::AppDataLocation) + QStringLiteral("/training");
}

void TrainingLog::Begin(int64_t startTime)
{
    // A new training replaces the one on the device: its log is over.
    End();
    failureShown_ = false;
    const QString stem = QStringLiteral("training-") +
                         QDateTime::fromSecsSinceEpoch(startTime).toString(QStringLiteral("yyyy-MM-dd_HH-mm-ss"));
    // Two trainings started within one second still get a file each.
    path_ = QDir(folder_).filePath(stem + QStringLiteral(".csv"));
    for (int n = 2; QFileInfo::exists(path_); ++n)
        path_ = QDir(folder_).filePath(stem + QStringLiteral("-%1.csv").arg(n));
}

void TrainingLog::Continue(const QString &path, const QString &device)
{
    failureShown_ = false;
    path_ = path;
    device_ = device;
    // A line cut short when the program ended mid-write stays on its own: the next row
    // must not be glued to it.
    QFile file(path_);
    if (file.open(QIODevice::ReadOnly) && file.size() > 0 && file.seek(file.size() - 1) &&
        file.read(1) != QByteArray("\n")) {
        file.close();
        Write(QStringLiteral("\n"));
    }
}

void TrainingLog::End()
{
    if (IsOpen() && QFileInfo::exists(path_))
        Write(kEnded + QLatin1Char('\n'));
    path_.clear();
    device_.clear();
}

void TrainingLog::NoteDevice(const QString &device)
{
    if (device.isEmpty() || !device_.isEmpty())
        return;
    device_ = device;
    // Before the first point there is no file yet: the line then follows the header.
    if (IsOpen() && QFileInfo::exists(path_))
        Write(kDevicePrefix + device_ + QLatin1Char('\n'));
}

bool TrainingLog::Append(const TrainingPoint &point)
{
    if (path_.isEmpty())
        return false;
    QString text;
    if (!QFileInfo::exists(path_)) {
        text = kHeader + QLatin1Char('\n');
        if (!device_.isEmpty())
            text += kDevicePrefix + device_ + QLatin1Char('\n');
    }
    text += TrainingCsv::Line(point) + QLatin1Char('\n');
    return Write(text);
}

bool TrainingLog::Write(const QString &lines)
{
    QDir().mkpath(folder_);
    QFile file(path_);
    bool done = file.open(QIODevice::WriteOnly | QIODevice::Append);
    if (done) {
        const QByteArray bytes = lines.toUtf8();
        done = file.write(bytes) == bytes.size() && file.flush();
    }
    if (!done && !failureShown_) {
        failureShown_ = true;
        ShowText(tr("Не удалось записать журнал тренировки:\r\n%1").arg(QDir::toNativeSeparators(path_)));
    }
    return done;
}
