#include "ui/training/TrainingLog.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>
#include <QStringList>
#include <charconv>
#include <string>

#include "core/Notify.h"

namespace {

const QString kHeader = QStringLiteral("time,hours,charge_Wh,discharge_Wh,battery_V");

// The shortest text that reads back as the same number, always with a point.
template <typename T>
QString Number(T value)
{
    char buf[64];
    const auto r = std::to_chars(buf, buf + sizeof buf, value);
    return QString::fromLatin1(buf, static_cast<int>(r.ptr - buf));
}

QString Optional(const std::optional<float> &value) { return value ? Number(*value) : QString(); }

template <typename T>
bool ParseNumber(const QString &text, T &value)
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

void ShowText(const QString &text) { ShowMessageBox(std::u16string_view(reinterpret_cast<const char16_t *>(text.utf16()), text.size())); }

}  // namespace

namespace TrainingCsv {

QString Header() { return kHeader; }

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

std::optional<std::vector<TrainingPoint>> Parse(const QString &text)
{
    const QStringList lines = text.split(QLatin1Char('\n'));
    if (lines.isEmpty() || lines.front().trimmed() != kHeader)
        return std::nullopt;
    std::vector<TrainingPoint> points;
    for (int i = 1; i < lines.size(); ++i) {
        const QStringList f = lines[i].split(QLatin1Char(','));
        if (f.size() != 5)
            continue;
        TrainingPoint p;
        const QDateTime time = QDateTime::fromString(f[0].trimmed(), Qt::ISODate);
        if (!time.isValid() || !ParseNumber(f[1], p.Hours) || !ParseOptional(f[2], p.Charge) ||
            !ParseOptional(f[3], p.Discharge) || !ParseOptional(f[4], p.Voltage))
            continue;
        p.Time = time.toSecsSinceEpoch();
        points.push_back(p);
    }
    return points;
}

bool Write(const QString &path, const std::vector<TrainingPoint> &points)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return false;
    const QByteArray bytes = Text(points).toUtf8();
    return file.write(bytes) == bytes.size() && file.flush();
}

std::optional<std::vector<TrainingPoint>> Read(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    return Parse(QString::fromUtf8(file.readAll()));
}

}  // namespace TrainingCsv

TrainingLog::TrainingLog(QString folder) : folder_(std::move(folder))
{
    if (folder_.isEmpty())
        folder_ = QStandardPaths::writableLocation(QStandardPaths::AppDataLocation) + QStringLiteral("/training");
}

void TrainingLog::Begin(int64_t startTime)
{
    failureShown_ = false;
    const QString stem = QStringLiteral("training-") +
                         QDateTime::fromSecsSinceEpoch(startTime).toString(QStringLiteral("yyyy-MM-dd_HH-mm-ss"));
    // Two trainings started within one second still get a file each.
    path_ = QDir(folder_).filePath(stem + QStringLiteral(".csv"));
    for (int n = 2; QFileInfo::exists(path_); ++n)
        path_ = QDir(folder_).filePath(stem + QStringLiteral("-%1.csv").arg(n));
}

bool TrainingLog::Append(const TrainingPoint &point)
{
    if (path_.isEmpty())
        return false;
    QDir().mkpath(folder_);
    QFile file(path_);
    const bool fresh = !file.exists();
    bool done = file.open(QIODevice::WriteOnly | QIODevice::Append);
    if (done) {
        QString text = fresh ? kHeader + QLatin1Char('\n') : QString();
        text += TrainingCsv::Line(point) + QLatin1Char('\n');
        const QByteArray bytes = text.toUtf8();
        done = file.write(bytes) == bytes.size() && file.flush();
    }
    if (!done && !failureShown_) {
        failureShown_ = true;
        ShowText(QStringLiteral("Не удалось записать журнал тренировки:\r\n") + QDir::toNativeSeparators(path_));
    }
    return done;
}
