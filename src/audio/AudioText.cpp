#include "audio/AudioText.h"

#include <QCoreApplication>
#include <QString>

#include <cerrno>
#include <cstring>
#include <vector>

namespace sonalto::audio {

std::string AudioText::tr(const char *source, std::initializer_list<std::string_view> args)
{
    // lupdate files a call under the class's full name or, inside a function whose
    // result type it cannot place (std::string), under the bare name: both are
    // looked up.
    QString translated = QCoreApplication::translate("sonalto::audio::AudioText", source);
    if (translated == QString::fromUtf8(source))
        translated = QCoreApplication::translate("AudioText", source);
    const std::string text = translated.toStdString();
    const std::vector<std::string_view> values(args);
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '%' && i + 1 < text.size() && text[i + 1] >= '1' && text[i + 1] <= '9') {
            const size_t n = size_t(text[i + 1] - '1');
            if (n < values.size()) {
                out +=
                    QString::fromUtf8(values[n].data(), qsizetype(values[n].size())).toStdString();
                ++i;
                continue;
            }
        }
        out += c;
    }
    return out;
}

std::string systemErrorText(int error)
{
    switch (error) {
    case ENOSPC:
        return AudioText::tr("磁盘空间不足");
    case EDQUOT:
        return AudioText::tr("超出了磁盘配额");
    case EFBIG:
        return AudioText::tr("文件超出了允许的大小");
    case EACCES:
    case EPERM:
        return AudioText::tr("没有权限");
    case EROFS:
        return AudioText::tr("磁盘是只读的");
    case ENOENT:
        return AudioText::tr("文件或文件夹不存在");
    case ENOTDIR:
        return AudioText::tr("路径中有一部分不是文件夹");
    case EISDIR:
        return AudioText::tr("这是一个文件夹");
    case ENAMETOOLONG:
        return AudioText::tr("文件名太长");
    case ELOOP:
        return AudioText::tr("符号链接层数太多");
    case EEXIST:
        return AudioText::tr("文件已存在");
    case EIO:
        return AudioText::tr("读写出错");
    case EMFILE:
    case ENFILE:
        return AudioText::tr("打开的文件太多");
    case ENOMEM:
        return AudioText::tr("内存不足");
    case EPIPE:
        return AudioText::tr("对方已关闭连接");
    case ENOEXEC:
        return AudioText::tr("不是可以运行的程序");
    case ETXTBSY:
        return AudioText::tr("文件正被占用");
    case EAGAIN:
        return AudioText::tr("资源暂时不可用");
    case EINVAL:
        return AudioText::tr("参数无效");
    case ENODEV:
    case ENXIO:
        return AudioText::tr("设备不存在");
    default:
        return AudioText::tr("系统错误 %1（%2）", {std::to_string(error), std::strerror(error)});
    }
}

} // namespace sonalto::audio
