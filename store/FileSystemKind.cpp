#include "FileSystemKind.h"

#include <QFile>

#include <sys/vfs.h>

namespace {

constexpr unsigned long nfsMagic = 0x6969;
constexpr unsigned long smbMagic = 0x517B;
constexpr unsigned long cifsMagic = 0xFF534D42;
constexpr unsigned long smb2Magic = 0xFE534D42;

} // namespace

bool isOnNetworkFileSystem(const QString& filePath)
{
    // statfs reads the path's filesystem without opening the file, so SQLite's locks stay intact.
    struct statfs info {};
    if (statfs(QFile::encodeName(filePath).constData(), &info) != 0)
        return false;
    const auto type = static_cast<unsigned long>(info.f_type) & 0xFFFFFFFFUL;
    return type == nfsMagic || type == smbMagic || type == cifsMagic || type == smb2Magic;
}
