#include "audio/AudioText.h"

#include <QCoreApplication>
#include <QString>

#include <cerrno>
#include <cstring>
#include <vector>

namespace sonalto::audio {

std::string tr(const char *source, std::initializer_list<std::string_view> args)
{
    const std::string text = QCoreApplication::translate("sonalto::audio", source).toStdString();
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
        return tr("磁盘空间不足");
    case EDQUOT:
        return tr("超出了磁盘配额");
    case EFBIG:
        return tr("文件超出了允许的大小");
    case EACCES:
    case EPERM:
        return tr("没有权限");
    case EROFS:
        return tr("磁盘是只读的");
    case ENOENT:
        return tr("文件或文件夹不存在");
    case ENOTDIR:
        return tr("路径中有一部分不是文件夹");
    case EISDIR:
        return tr("这是一个文件夹");
    case ENAMETOOLONG:
        return tr("文件名太长");
    case ELOOP:
        return tr("符号链接层数太多");
    case EEXIST:
        return tr("文件已存在");
    case EIO:
        return tr("读写出错");
    case EMFILE:
    case ENFILE:
        return tr("打开的文件太多");
    case ENOMEM:
        return tr("内存不足");
    case EPIPE:
        return tr("对方已关闭连接");
    case ENOEXEC:
        return tr("不是可以运行的程序");
    case ETXTBSY:
        return tr("文件正被占用");
    case EAGAIN:
        return tr("资源暂时不可用");
    case EINVAL:
        return tr("参数无效");
    case ENODEV:
    case ENXIO:
        return tr("设备不存在");
    default:
        return tr("系统错误 %1（%2）", {std::to_string(error), std::strerror(error)});
    }
}

} // namespace sonalto::audio
