// The device's settings as a plain text file a person can read and edit: a header naming
// the device, then "NAME = VALUE" lines with numbers in the C locale. Only the format,
// the checks and the comparison live here; talking to the device is SettingsTransfer.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "device/RegisterMap.h"

struct ModbusAction;

// A setting is a read-write variable that holds configuration: not a command, a counter,
// a calibration argument or a live output. Do1.Mode..Do4.Mode exist from version 111 on.
bool IsSetting(const MbVariableRow &row, int32_t versionX100);
// The settings of a device version, in table order.
std::vector<const MbVariableRow *> DeviceSettings(int32_t versionX100);

struct SettingLine {
    std::string Name;
    std::string Value;  // as written in the file (C locale)
    int Line = 0;       // 1-based line in the file
};

struct SettingsFile {
    std::string DeviceType;  // the device's type text, "Quintavolte 1.11"
    int DeviceLine = 0;      // its line in the file
    // The unit the file was saved from (ChipIdentityText); empty in files written before
    // it was recorded, which older readers skip as a comment.
    std::string Chip;
    int ChipLine = 0;
    std::string Date;
    std::vector<SettingLine> Settings;
};

// What is wrong with a file, for a front end that words it in its own language.
enum class SettingsFaultKind {
    None,
    NotASettingsFile,  // no "# device:" line
    NotALine,          // no '=' (a truncated line)
    NoLineEnd,         // the last line has no line end: the file may be cut short
    ControlCharacter,  // Other: the character's code, 0x07
    NoName,
    NoValue,
    UnknownName,
    NotASetting,       // a variable, but a command, counter or reading
    GivenTwice,        // Other: the line number of the first
    BadValue,          // Other: the reason ("is not a number", ...)
    OtherDevice,       // Value: the file's type; Other: the device's
    NotOnThisVersion,  // Other: the device's type text
    BadChip,           // Value: the "# chip:" line's text
};
struct SettingsFault {
    SettingsFaultKind Kind = SettingsFaultKind::None;
    int Line = 0;
    std::string Name;
    std::string Value;
    std::string Other;
};

// The chip identity of a unit as the file records it: ChipUID.H1, .H2 and .L as three
// words of 8 upper-case hexadecimal digits, "8A3C1F07 00412233 1234ABCD".
std::string ChipIdentityText(uint32_t h1, uint32_t h2, uint32_t l);

// The file text; values are (name, C-locale value text) in the order given. chip, when
// not empty, is the unit's ChipIdentityText.
std::string FormatSettingsFile(const std::string &deviceType, const std::string &date,
                               const std::vector<std::pair<std::string, std::string>> &values,
                               const std::string &chip = {});

// Reads a file's text and checks every line: the header (a "# chip:" line must hold three
// 8-digit hexadecimal words), the names (settings of some
// version, each once) and that each value passes the write gate. A leading UTF-8 byte
// order mark is skipped; a line with a control character and a last line without its
// line end (a file cut short) are refused. False with a message naming the line in
// *error at the first fault; quoted text in it is cut to about 60 characters.
bool ParseSettingsFile(std::string_view text, SettingsFile *file, std::string *error, SettingsFault *fault = nullptr);

// Whether the file fits the connected device: the same type (the version may differ) and
// only settings the device's version has. False with a message in *error.
bool CheckSettingsForDevice(const SettingsFile &file, const std::string &deviceType, int32_t versionX100,
                            std::string *error, SettingsFault *fault = nullptr);

// A value as the program shows it (a float cut to 5 decimals, a decimal comma in some
// locales) in the file's form: C locale, and for a float the shortest number that the
// program shows the same way, so 14.4 reads "14.4" and not "14.39999".
std::string SettingFileText(uint32_t type, std::string_view shown);

// A value from the register bytes of a read (host order, least significant word first):
// a float or double as the shortest C-locale text that reads back to the same bits
// (1.2345678, 1e-07, -0.000123456); other types as SettingFileText makes them of the
// shown text. Empty when the bytes are too few for the type.
std::string ExactSettingText(uint32_t type, const uint8_t *raw, size_t count, std::string_view shown);

// The shortest C-locale text that reads back to the same number: 14.4, 27, 1e-38, -0.
std::string ShortestNumberText(float value);
std::string ShortestNumberText(double value);

// A variable's value for people and programs outside the window (the command line, the
// bridge): ExactSettingText of its last read, or, when a write has set the text since,
// the shortest text the program shows the same way. "--" before the first read.
std::string ExactValueText(const ModbusAction &variable);

// Whether a device whose setting reads `device` holds the file's `value`. Floats and
// doubles compare by their bits, so 1.2345678 and 1.23456 differ and 14.4 and 14.40 do
// not; the device's text is the exact one ExactSettingText makes.
bool SameSettingValue(uint32_t type, const std::string &device, const std::string &value);

// The file size no settings file comes near; a larger file is refused unread.
constexpr size_t kMaxSettingsFileSize = 1 << 20;

// A settings file's text: a regular file only (never waiting on a FIFO or reading a
// device), at most kMaxSettingsFileSize bytes. False with "cannot read PATH: reason" in
// *error.
bool ReadSettingsText(const std::string &path, std::string *text, std::string *error);
// Writes the file whole or not at all (see WriteFileWhole): through a symbolic link to
// the file it names, straight into a terminal or another special file, "-" to the
// standard output.
bool WriteSettingsText(const std::string &path, const std::string &text, std::string *error);
// The date line of a new file: local time with its offset.
std::string SettingsDateText();

struct SettingChange {
    std::string Name;
    std::string DeviceValue;  // C locale
    std::string FileValue;    // C locale
    int Line = 0;
};

// The file's settings whose value differs from the device's, in the order they are to
// be written. deviceValues holds (name, C-locale value) of the device's settings.
std::vector<SettingChange> CompareSettings(const SettingsFile &file,
                                           const std::vector<std::pair<std::string, std::string>> &deviceValues);

// A calibration setting: the zero offset or factor of one unit's measuring channel, which
// belongs to that unit's hardware.
bool IsCalibrationSetting(std::string_view name);

// What a restore of the file would do on the connected unit.
struct SettingsPlan {
    std::vector<SettingChange> Changes;  // to be written, in write order
    // Another unit's calibration values that differ from this unit's, not written.
    std::vector<SettingChange> LeftOut;
    // The file was saved from another unit, or does not say from which: its calibration
    // is written only when asked for.
    bool OtherUnit = false;
    bool CalibrationAsked = false;  // withCalibration was given for another unit's file
    // The file's type text names another firmware version than the device's.
    bool OtherVersion = false;
    // Some change is of a variable that changes how the device is reached.
    bool ChangesLink = false;
};

// The changes to make (CompareSettings) with another unit's calibration left out unless
// withCalibration. deviceChip is the unit's ChipIdentityText; an empty one never matches.
SettingsPlan PlanSettings(const SettingsFile &file,
                          const std::vector<std::pair<std::string, std::string>> &deviceValues,
                          const std::string &deviceType, const std::string &deviceChip, bool withCalibration);
