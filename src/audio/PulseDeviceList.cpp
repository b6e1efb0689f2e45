#include "audio/PulseDeviceList.h"

#include "audio/AudioText.h"

#include <algorithm>
#include <map>

namespace sonalto::audio::pulse {

namespace {

void listDone(Snapshot *s)
{
    --s->pending;
    signalLoop(s->loop);
}

void onCard(pa_context *, const pa_card_info *info, int eol, void *userdata)
{
    auto *s = static_cast<Snapshot *>(userdata);
    if (eol) {
        listDone(s);
        return;
    }
    CardData card;
    card.index = info->index;
    card.name = text(info->name);
    card.description = text(pa_proplist_gets(info->proplist, PA_PROP_DEVICE_DESCRIPTION));
    if (card.description.empty())
        card.description = card.name;
    // A card whose profile is "off" has no endpoints: listed, but unusable.
    const pa_card_profile_info2 *profile = info->active_profile2;
    card.enabled = profile && profile->n_sinks + profile->n_sources > 0;
    s->cards.push_back(std::move(card));
}

void onSink(pa_context *, const pa_sink_info *info, int eol, void *userdata)
{
    auto *s = static_cast<Snapshot *>(userdata);
    if (eol) {
        listDone(s);
        return;
    }
    s->sinks.push_back({info->index, info->card, text(info->name), text(info->description),
                        text(info->monitor_source_name)});
}

void onSource(pa_context *, const pa_source_info *info, int eol, void *userdata)
{
    auto *s = static_cast<Snapshot *>(userdata);
    if (eol) {
        listDone(s);
        return;
    }
    SourceData source;
    source.index = info->index;
    source.card = info->card;
    source.monitorOf = info->monitor_of_sink;
    source.name = text(info->name);
    source.description = text(info->description);
    source.formFactor = text(pa_proplist_gets(info->proplist, PA_PROP_DEVICE_FORM_FACTOR));
    if (info->active_port)
        source.activePort = text(info->active_port->name);
    for (uint32_t i = 0; i < info->n_ports; ++i)
        source.ports.push_back({text(info->ports[i]->name), text(info->ports[i]->description),
                                uint32_t(info->ports[i]->type)});
    s->sources.push_back(std::move(source));
}

void onServer(pa_context *, const pa_server_info *info, void *userdata)
{
    auto *s = static_cast<Snapshot *>(userdata);
    if (info) {
        s->defaultSink = text(info->default_sink_name);
        s->defaultSource = text(info->default_source_name);
    }
    listDone(s);
}

} // namespace

bool readSnapshot(PulseBackend::Connection &c, Snapshot &s)
{
    LoopLock lock(c.loop);
    if (!lock.canWait() || !c.ready())
        return false;
    s.loop = c.loop;
    pa_operation *ops[] = {
        pa_context_get_card_info_list(c.context, onCard, &s),
        pa_context_get_sink_info_list(c.context, onSink, &s),
        pa_context_get_source_info_list(c.context, onSource, &s),
        pa_context_get_server_info(c.context, onServer, &s),
    };
    bool ok = true;
    for (pa_operation *op : ops)
        ok = finish(c.loop, op) && ok;
    return ok;
}

namespace {

uint32_t typeFromWords(const std::string &words)
{
    const std::string w = lower(words);
    if (w.find("mic") != std::string::npos || w.find("headset") != std::string::npos ||
        w.find("webcam") != std::string::npos)
        return InputTypeMicrophone;
    if (w.find("line") != std::string::npos)
        return InputTypeLine;
    if (w.find("spdif") != std::string::npos || w.find("iec958") != std::string::npos ||
        w.find("hdmi") != std::string::npos || w.find("digital") != std::string::npos)
        return InputTypeDigital;
    if (w.find("analog") != std::string::npos)
        return InputTypeAnalog;
    return InputTypeUndefined;
}

uint32_t portType(const PortData &port)
{
    switch (port.type) {
    case PA_DEVICE_PORT_TYPE_MIC:
    case PA_DEVICE_PORT_TYPE_HEADSET:
    case PA_DEVICE_PORT_TYPE_HANDSET:
    case PA_DEVICE_PORT_TYPE_HANDSFREE:
        return InputTypeMicrophone;
    case PA_DEVICE_PORT_TYPE_LINE:
        return InputTypeLine;
    case PA_DEVICE_PORT_TYPE_SPDIF:
    case PA_DEVICE_PORT_TYPE_HDMI:
        return InputTypeDigital;
    case PA_DEVICE_PORT_TYPE_ANALOG:
        return InputTypeAnalog;
    default:
        return typeFromWords(port.name + " " + port.description);
    }
}

void addSourceInputs(BackendDevice &device, const SourceData &source)
{
    if (source.ports.empty()) {
        const std::string name = source.description.empty() ? source.name : source.description;
        device.inputs.push_back(
            {name,
             typeFromWords(source.formFactor + " " + source.name + " " + source.description),
             source.name,
             {},
             false});
        return;
    }
    for (const PortData &port : source.ports)
        device.inputs.push_back({port.description.empty() ? port.name : port.description,
                                 portType(port), source.name, port.name,
                                 port.name == source.activePort});
}

void addMonitorInput(BackendDevice &device, const SinkData &sink)
{
    if (sink.monitor.empty())
        return;
    const std::string name = sink.description.empty() ? sink.name : sink.description;
    device.inputs.push_back(
        {AudioText::tr("%1（输出混音）", {name}), InputTypeOutputMix, sink.monitor, {}, false});
}

// Inputs of one device that would read the same tell which source they are on.
void disambiguate(BackendDevice &device, const std::vector<SourceData> &sources)
{
    std::map<std::string, int> count;
    for (const auto &input : device.inputs)
        ++count[input.name];
    for (auto &input : device.inputs) {
        if (count[input.name] < 2)
            continue;
        auto it = std::find_if(sources.begin(), sources.end(),
                               [&](const SourceData &s) { return s.name == input.sourceId; });
        if (it != sources.end() && !it->description.empty())
            input.name += " (" + it->description + ")";
    }
}

} // namespace

std::vector<BackendDevice> buildDevices(Snapshot &s)
{
    auto byIndex = [](const auto &a, const auto &b) { return a.index < b.index; };
    std::sort(s.cards.begin(), s.cards.end(), byIndex);
    std::sort(s.sinks.begin(), s.sinks.end(), byIndex);
    std::sort(s.sources.begin(), s.sources.end(), byIndex);

    // What the device plays comes first: a first start without settings takes
    // input 0, and a device change the last output mix, so both record the
    // card's own output, the input this program is mostly used for.
    auto collect = [&](BackendDevice &device, uint32_t card) {
        for (const SinkData &sink : s.sinks)
            if (sink.card == card)
                addMonitorInput(device, sink);
        for (const SourceData &source : s.sources)
            if (source.card == card && source.monitorOf == PA_INVALID_INDEX)
                addSourceInputs(device, source);
        disambiguate(device, s.sources);
    };

    std::vector<BackendDevice> devices;
    for (const CardData &card : s.cards) {
        BackendDevice device{"card:" + card.name, card.description, card.enabled, {}};
        collect(device, card.index);
        devices.push_back(std::move(device));
    }
    // The server has no name for this group: it is named in the window's language.
    BackendDevice group{PulseBackend::VirtualDeviceId, AudioText::tr("虚拟设备"), true, {}};
    collect(group, PA_INVALID_INDEX);
    if (!group.inputs.empty())
        devices.push_back(std::move(group));
    return devices;
}

} // namespace sonalto::audio::pulse
