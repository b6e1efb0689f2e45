#pragma once

// The server's cards, sinks and sources, and the capture devices made of them.

#include "audio/PulseConnection.h"

#include <cstdint>
#include <string>
#include <vector>

namespace sonalto::audio::pulse {

struct PortData
{
    std::string name;
    std::string description;
    uint32_t type = PA_DEVICE_PORT_TYPE_UNKNOWN;
};

struct SourceData
{
    uint32_t index = 0;
    uint32_t card = PA_INVALID_INDEX;
    uint32_t monitorOf = PA_INVALID_INDEX;
    std::string name;
    std::string description;
    std::string formFactor;
    std::string activePort;
    std::vector<PortData> ports;
};

struct SinkData
{
    uint32_t index = 0;
    uint32_t card = PA_INVALID_INDEX;
    std::string name;
    std::string description;
    std::string monitor;
};

struct CardData
{
    uint32_t index = 0;
    std::string name;
    std::string description;
    bool enabled = true;
};

struct Snapshot
{
    pa_threaded_mainloop *loop = nullptr;
    int pending = 0;
    std::vector<CardData> cards;
    std::vector<SinkData> sinks;
    std::vector<SourceData> sources;
    std::string defaultSink;
    std::string defaultSource;
};

// Reads the four lists in one round trip. False when the server cannot answer.
bool readSnapshot(PulseBackend::Connection &c, Snapshot &s);

std::vector<BackendDevice> buildDevices(Snapshot &s);

} // namespace sonalto::audio::pulse
