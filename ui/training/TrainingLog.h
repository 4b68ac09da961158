// The points of a battery training and their CSV form: the log that is appended to while
// a training runs (so that a closed program loses nothing), the export of a chart's points
// and the reading of a saved log. In a log, lines starting with "#" carry what it knows
// beyond its points: the device that ran the training and whether the training has ended;
// a reader of points skips them.
#pragma once

#include <QCoreApplication>
#include <QString>
#include <cstdint>
#include <optional>
#include <vector>

// One point set of the chart. A value that was not plotted (0.1 or less) is empty.
struct TrainingPoint {
    int64_t Time = 0;                // calendar seconds
    double Hours = 0;                // since the training's start
    std::optional<float> Charge;     // W·h
    std::optional<float> Discharge;  // W·h
    std::optional<float> Voltage;    // V
};

// A whole log: its points, the device that ran the training ("" when not known) and
// whether the training has ended.
struct TrainingLogFile {
    std::vector<TrainingPoint> Points;
    QString Device;
    bool Ended = false;
};

namespace TrainingCsv {
QString Header();
QString Line(const TrainingPoint &point);
QString Text(const std::vector<TrainingPoint> &points);
// Empty when the text has no log header. Lines that do not parse (a line cut short when
// the program ended mid-write) are skipped.
std::optional<TrainingLogFile> ParseLog(const QString &text);
bool Write(const QString &path, const std::vector<TrainingPoint> &points);
std::optional<TrainingLogFile> ReadLog(const QString &path);
// The points of a log file alone.
std::optional<std::vector<TrainingPoint>> Read(const QString &path);
}  // namespace TrainingCsv

// The newest log of a folder when it can go on with the training the device reports under
// way: written for `device`, not ended, its last point at most `maxAgeSec` before `now`.
struct ResumableLog {
    QString Path;
    std::vector<TrainingPoint> Points;
    int64_t StartTime = 0;  // calendar seconds of the training's hour 0
};
std::optional<ResumableLog> FindResumableLog(const QString &folder, const QString &device, int64_t now,
                                             int64_t maxAgeSec);

// The log file of the training under way: one file per training in a folder, each point
// set appended and flushed as it comes.
class TrainingLog {
    Q_DECLARE_TR_FUNCTIONS(TrainingLog)

public:
    // Defaults to a "training" folder in the user's application data folder.
    explicit TrainingLog(QString folder = {});

    void SetFolder(const QString &folder) { folder_ = folder; }
    QString Folder() const { return folder_; }
    // Starts a new file named after the start time; a log still open is ended first.
    void Begin(int64_t startTime);
    // Goes on appending to an existing log (a training under way when the window opened).
    void Continue(const QString &path, const QString &device);
    // Marks the training ended in the file and closes it.
    void End();
    bool IsOpen() const { return !path_.isEmpty(); }
    QString Path() const { return path_; }
    // The device that runs the training, noted once per file ("" is no device).
    void NoteDevice(const QString &device);
    bool HasDevice() const { return !device_.isEmpty(); }
    // False when the file cannot be written; the operator is told once per training.
    bool Append(const TrainingPoint &point);

private:
    bool Write(const QString &lines);

    QString folder_;
    QString path_;
    QString device_;
    bool failureShown_ = false;
};
