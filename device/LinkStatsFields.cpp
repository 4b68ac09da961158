#include "device/LinkStatsFields.h"

std::array<LinkStatsField, 8> LinkStatsFields(const ModbusShell::LinkStats &s)
{
    return {{{"requests", s.Requests},
             {"good_replies", s.GoodReplies},
             {"timeouts", s.Timeouts},
             {"bad_replies", s.BadReplies},
             {"exceptions", s.Exceptions},
             {"late_bytes_dropped", s.LateBytesDropped},
             {"noise_bytes", s.NoiseBytes},
             {"reconnections", s.Reconnections}}};
}

std::string LinkStatsSummary(const ModbusShell::LinkStats &s)
{
    std::string text;
    for (const auto &[name, value] : LinkStatsFields(s)) {
        if (!text.empty())
            text += ", ";
        text += std::to_string(value) + " ";
        for (const char *c = name; *c != 0; ++c)
            text += *c == '_' ? ' ' : *c;
    }
    return text;
}
