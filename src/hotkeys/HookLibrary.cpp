#include "hotkeys/HookLibrary.h"

#include "common/InstallPaths.h"
#include "hotkeys/HotKeyList.h"

#include <QCoreApplication>
#include <QFileInfo>

#include <algorithm>

namespace sonalto::hotkeys {

namespace {

using SetHookFn = int (*)();
using SetListFn = int (*)(const unsigned char *, const unsigned char *, int);
using RemoveHookFn = void (*)();
using ReportFn = void (*)(void *, int, unsigned int, int);
using SetReportCallbackFn = void (*)(ReportFn, void *);
using GetRefusedEntriesFn = int (*)(int *, int);

QStringList defaultCandidates()
{
    QStringList candidates;
    if (QCoreApplication::instance())
        candidates << hookLibraryPaths(QCoreApplication::applicationDirPath());
    // The system's search, which includes the program's run path.
    candidates << QStringLiteral("kHook");
    return candidates;
}

} // namespace

HookLibrary::HookLibrary(QStringList candidates)
    : m_candidates(candidates.isEmpty() ? defaultCandidates() : std::move(candidates))
{
}

HookLibrary::~HookLibrary()
{
    removeHook();
}

void HookLibrary::setReceiver(Receiver receiver)
{
    std::lock_guard lock(m_receiverMutex);
    m_receiver = std::move(receiver);
}

void HookLibrary::report(void *context, int key, unsigned int flags, int modifiers)
{
    auto *self = static_cast<HookLibrary *>(context);
    std::lock_guard lock(self->m_receiverMutex);
    if (self->m_receiver)
        self->m_receiver(key, flags, modifiers);
}

bool HookLibrary::load()
{
    if (m_library.isLoaded())
        return true;
    for (const QString &candidate : m_candidates) {
        // A bare name goes to the system's search; a path only when the file is there.
        if (candidate.contains(QLatin1Char('/')) && !QFileInfo::exists(candidate))
            continue;
        m_library.setFileName(candidate);
        if (m_library.load()) {
            if (auto setCallback =
                    reinterpret_cast<SetReportCallbackFn>(m_library.resolve("SetReportCallback")))
                setCallback(&HookLibrary::report, this);
            m_error.clear();
            return true;
        }
        m_error = m_library.errorString();
    }
    if (m_error.isEmpty())
        m_error = QStringLiteral("libkHook.so not found");
    return false;
}

bool HookLibrary::setHook()
{
    if (!load())
        return false;
    auto setHookFn = reinterpret_cast<SetHookFn>(m_library.resolve("SetHook"));
    if (!setHookFn)
        return false;
    if (!setHookFn()) {
        m_error = QStringLiteral("no X display");
        return false;
    }
    return true;
}

int HookLibrary::setList(const uint8_t *keys, const uint8_t *modifiers, int count)
{
    if (!m_library.isLoaded())
        return -1;
    auto setListFn = reinterpret_cast<SetListFn>(m_library.resolve("SetList"));
    if (!setListFn || (count > 0 && (!keys || !modifiers)))
        return -1;
    const int roles = std::clamp(count, 0, HotKeyList::Roles);
    static_assert(HotKeyList::Roles == std::tuple_size_v<decltype(m_keys)>);
    for (int i = 0; i < roles; ++i) {
        const bool isKey = HotKeyList::isKey(keys[i], modifiers[i]);
        m_keys[size_t(i)] = isKey ? keys[i] : ClearedKey;
        m_modifiers[size_t(i)] = isKey ? modifiers[i] : ClearedKey;
    }
    return setListFn(m_keys.data(), m_modifiers.data(), roles);
}

std::vector<int> HookLibrary::refusedEntries()
{
    if (!m_library.isLoaded())
        return {};
    auto getRefused = reinterpret_cast<GetRefusedEntriesFn>(m_library.resolve("GetRefusedEntries"));
    if (!getRefused)
        return {};
    std::vector<int> indices(256);
    const int n = getRefused(indices.data(), int(indices.size()));
    indices.resize(size_t(std::clamp(n, 0, int(indices.size()))));
    return indices;
}

void HookLibrary::removeHook()
{
    if (!m_library.isLoaded())
        return;
    if (auto removeFn = reinterpret_cast<RemoveHookFn>(m_library.resolve("RemoveHook")))
        removeFn();
    if (auto setCallback =
            reinterpret_cast<SetReportCallbackFn>(m_library.resolve("SetReportCallback")))
        setCallback(nullptr, nullptr);
    m_library.unload();
}

} // namespace sonalto::hotkeys
