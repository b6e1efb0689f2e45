#include "audio/LazyLibraries.h"

#include "audio/AudioText.h"

#include <QtGlobal>

#include <dlfcn.h>

namespace sonalto::audio {

LazyLibraries::LazyLibraries(std::span<const char *const> fileNames,
                             std::span<const Function> functions)
    : m_fileNames(fileNames), m_functions(functions),
      m_once(std::make_unique<std::once_flag[]>(m_fileNames.size())), m_errors(m_fileNames.size()),
      m_addresses(m_functions.size())
{
}

// The libraries stay open: their functions may be called until the very end.
LazyLibraries::~LazyLibraries() = default;

// Later calls only read the table: dlsym would wait for whatever another thread
// is loading.
bool LazyLibraries::load(int library, std::string *error)
{
    std::call_once(m_once[library], [this, library] {
        const char *fileName = m_fileNames[library];
        void *handle = ::dlopen(fileName, RTLD_NOW | RTLD_LOCAL);
        if (!handle) {
            const char *reason = ::dlerror();
            m_errors[library] = AudioText::tr("无法加载程序库：%1", {reason ? reason : fileName});
            return;
        }
        for (std::size_t i = 0; i < m_functions.size(); ++i) {
            if (m_functions[i].library != library)
                continue;
            m_addresses[i] = ::dlsym(handle, m_functions[i].name);
            if (!m_addresses[i] && m_errors[library].empty())
                m_errors[library] =
                    AudioText::tr("程序库 %1 中缺少 %2", {fileName, m_functions[i].name});
        }
    });
    if (!m_errors[library].empty()) {
        if (error)
            *error = m_errors[library];
        return false;
    }
    return true;
}

bool LazyLibraries::loadAll(std::string *error)
{
    bool ok = true;
    for (int library = 0; library < int(m_fileNames.size()); ++library)
        ok = load(library, ok ? error : nullptr) && ok;
    return ok;
}

void *LazyLibraries::address(std::size_t function)
{
    std::string error;
    if (!load(m_functions[function].library, &error))
        qFatal("%s", AudioText::tr("Sonalto 无法加载所需的程序库：%1", {error}).c_str());
    return m_addresses[function];
}

} // namespace sonalto::audio
