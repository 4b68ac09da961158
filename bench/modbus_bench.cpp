// Throughput of the engine's hot paths: the CRC and one request/reply exchange.
#include <benchmark/benchmark.h>

#include <array>
#include <cstdint>
#include <vector>

#include "core/MicroModbus.h"

namespace {

void BM_Crc256(benchmark::State &state)
{
    std::array<uint8_t, 256> data;
    for (size_t i = 0; i < data.size(); ++i)
        data[i] = static_cast<uint8_t>(i * 37 + 11);
    for (auto _ : state)
        benchmark::DoNotOptimize(MbCrc16(data.data(), data.size()));
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * 256);
}
BENCHMARK(BM_Crc256);

int g_replies = 0;
void OnReply(MicroModbus *engine, void *, int status, uint16_t, uint8_t, uint8_t, uint32_t)
{
    const uint8_t *data = nullptr;
    if (status == MbReplyNormal && engine->ParseReadResponse(&data) == 4)
        ++g_replies;
}

// Build a read of two holding registers, then take its reply.
void BM_ReadExchange(benchmark::State &state)
{
    MicroTaskManager manager;
    MicroModbus engine(0, 5);
    std::array<uint8_t, 1024> tx{};
    engine.SetTxBuffer(tx.data(), tx.size(), MbRtu);
    std::vector<uint8_t> reply = {0xFE, 0x03, 0x04, 0x41, 0x66, 0x66, 0x66};
    uint16_t crc = MbCrc16(reply.data(), reply.size());
    reply.push_back(static_cast<uint8_t>(crc));
    reply.push_back(static_cast<uint8_t>(crc >> 8));
    g_replies = 0;
    for (auto _ : state) {
        engine.BuildReadRequest(MbHoldingRegisters, 254, 2002, 2, 500, OnReply, nullptr);
        engine.ProcessFrame(reply.data(), static_cast<uint16_t>(reply.size()), MbRtu);
    }
    if (g_replies != static_cast<int>(state.iterations()))
        state.SkipWithError("a reply was not accepted");
}
BENCHMARK(BM_ReadExchange);

}  // namespace
