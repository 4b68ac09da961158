// Behaviour of the stand-in device: a small solar charger (panel, 12 V battery, load) that
// can also act as a bench supply, stepped by simulated time so that tests can drive it
// without sleeping. Everything is deterministic given the sequence of steps and writes.
//
// Units of what it serves: volts, amperes, watts, watt-hours (energy counters), degrees
// Celsius, hours (Rtc). The battery current is positive while current flows out of the
// battery terminals into the battery. In power-supply mode the battery terminals are the
// output, and the load channel shows the same output. Extremes.* are signed hundredths
// (14.40 V reads 1440, -2.50 A reads -250, 27 degrees 2700). Di*.Frequency is in Hz,
// DutyCycle in percent, Ton and Toff in milliseconds. A measured channel reads
// (raw - ZeroOffset) * Mul.
#pragma once
#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "sim/SimRegisters.h"

// Outcome of a write, as the Modbus exception code the device answers with.
enum SimResult : uint8_t {
    SimOk = 0,
    SimBadAddress = 2,  // read-only variable, or a register outside the map
    SimBadValue = 3,    // value out of range, or not accepted in the present mode
    SimFailed = 4,      // the command could not be carried out (save failed, calibration impossible)
};

struct SimModelConfig {
    std::string DeviceType = "Quintavolte 1.11";
    double StartHour = 12.0;  // time of day at power-up, 0..24
    std::string StateFile;    // where the configuration is persisted; empty: kept in memory only
    // The chip identity words ChipUID.H1, .H2, .L; H1 above 2^31 exercises unsigned decoding.
    std::array<uint32_t, 3> ChipUid{0x8A3C1F07u, 0x00412233u, 0x1234ABCDu};
};

class SimDeviceModel {
public:
    explicit SimDeviceModel(SimModelConfig config);

    // Reads the configuration from the state file when it exists. Lines that cannot be used
    // are skipped and described in problems; false only when the file exists but cannot be read.
    bool LoadState(std::vector<std::string> *problems);

    // Advances simulated time; long steps are cut into sub-steps of at most one second.
    void Step(double seconds);

    // The value a read of the variable returns (commands read 0).
    double Get(int id) const { return values_[static_cast<size_t>(id)]; }
    const std::string &DeviceType() const { return config_.DeviceType; }
    uint8_t Address() const { return static_cast<uint8_t>(Get(vMbMyModbusAddr)); }

    // Whether a write of the value would be accepted, without doing it.
    SimResult Check(int id, double value) const;
    // Checks, then stores the value or carries out the command.
    SimResult Write(int id, double value);

    // Simulated seconds since power-up and the time of day in hours.
    double Time() const { return time_; }
    double Hour() const;
    // State of charge of the battery, 0..1.
    double Charge() const { return soc_; }
    void SetCharge(double soc);

    // The variables stored by the save command, in file order.
    static const std::vector<int> &PersistedVars();

private:
    // Physical quantities before calibration.
    struct Raw {
        std::array<double, kSimChannels> Channel{};
        double Voc = 0;  // panel or source voltage without load
        bool LoadOn = false;
        bool CvLimited = false;
    };
    enum class Training { Idle, Discharge, Charge };

    void SetDefaults();
    Raw ComputeRaw() const;
    void Publish(const Raw &raw);
    void Refresh() { Publish(ComputeRaw()); }
    void Integrate(const Raw &raw, double dt);
    void Transitions(const Raw &raw);
    void UpdateExtremes();
    void ResetExtremes();
    SimResult Command(int id, double value);
    bool SaveState() const;
    double Reading(int channel, double raw) const;
    double &Val(int id) { return values_[static_cast<size_t>(id)]; }

    SimModelConfig config_;
    std::array<double, vSimVarCount> values_{};
    double time_ = 0;             // simulated seconds since power-up
    double soc_ = 0.8;            // battery state of charge
    bool chargeEnabled_ = true;   // cleared when the battery is full, set again below ChargeMinU
    bool lowVoltageOff_ = false;  // load cut off below LoadOffU until LoadOnU
    Training training_ = Training::Idle;
    std::array<uint32_t, 4> diCounters_{};
    std::array<bool, 4> doManual_{};  // output states written over Modbus (mode 0)
    Raw last_;                        // the raw values of the last publication (calibration commands use them)
};
