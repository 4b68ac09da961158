// The points of a battery training and their CSV form: the log that is appended to while
// a training runs (so that a closed program loses nothing), the export of a chart's points
// and the reading of a saved log.
#pragma once

#include <QString>
#include <cstdint>
#include <optional>
#include <vector>

// One point set of the chart. A value that was not plotted (0.1 or less) is empty.
struct TrainingPoint {
    int64_t Time = 0;  // calendar seconds
    double Hours = 0;  // since the training's start
    std::optional<float> Charge;     // W·h
    std::optional<float> Discharge;  // W·h
    std::optional<float> Voltage;    // V
};

namespace TrainingCsv {
QString Header();
QString Line(const TrainingPoint &point);
QString Text(const std::vector<TrainingPoint> &points);
// Empty when the text has no log header. Lines that do not parse (a line cut short when
// the program ended mid-write) are skipped.
std::optional<std::vector<TrainingPoint>> Parse(const QString &text);
bool Write(const QString &path, const std::vector<TrainingPoint> &points);
std::optional<std::vector<TrainingPoint>> Read(const QString &path);
}  // namespace TrainingCsv

// The log file of the training under way: one file per training in a folder, each point
// set appended and flushed as it comes.
class TrainingLog {
public:
    // Defaults to a "training" folder in the user's application data folder.
    explicit TrainingLog(QString folder = {});

    void SetFolder(const QString &folder) { folder_ = folder; }
    QString Folder() const { return folder_; }
    // Starts a new file named after the start time.
    void Begin(int64_t startTime);
    void End() { path_.clear(); }
    bool IsOpen() const { return !path_.isEmpty(); }
    QString Path() const { return path_; }
    // False when the file cannot be written; the operator is told once per training.
    bool Append(const TrainingPoint &point);

private:
    QString folder_;
    QString path_;
    bool failureShown_ = false;
};
