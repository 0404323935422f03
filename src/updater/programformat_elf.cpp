// Linux: programs are ELF files of this machine's class, byte order and
// architecture, of the executable or position-independent kind.

#include "programformat.h"

#include <QtEndian>

#include <elf.h>

namespace programformat
{

namespace
{
#if defined(__x86_64__)
constexpr int kMachine = EM_X86_64;
#elif defined(__aarch64__)
constexpr int kMachine = EM_AARCH64;
#elif defined(__i386__)
constexpr int kMachine = EM_386;
#elif defined(__arm__)
constexpr int kMachine = EM_ARM;
#elif defined(__riscv)
constexpr int kMachine = EM_RISCV;
#elif defined(__powerpc64__)
constexpr int kMachine = EM_PPC64;
#elif defined(__s390x__)
constexpr int kMachine = EM_S390;
#else
#error "the updater does not know this machine's ELF architecture"
#endif
constexpr int kClass = sizeof(void *) == 8 ? ELFCLASS64 : ELFCLASS32;
constexpr int kByteOrder = Q_BYTE_ORDER == Q_LITTLE_ENDIAN ? ELFDATA2LSB : ELFDATA2MSB;

QString machineName(int machine)
{
    switch (machine) {
    case EM_X86_64:
        return QStringLiteral("x86-64");
    case EM_386:
        return QStringLiteral("x86 32 位");
    case EM_AARCH64:
        return QStringLiteral("ARM 64 位");
    case EM_ARM:
        return QStringLiteral("ARM 32 位");
    case EM_RISCV:
        return QStringLiteral("RISC-V");
    case EM_PPC64:
        return QStringLiteral("PowerPC 64 位");
    case EM_S390:
        return QStringLiteral("IBM Z");
    case EM_MIPS:
        return QStringLiteral("MIPS");
    default:
        return QStringLiteral("编号 %1 的处理器").arg(machine);
    }
}

quint16 half(const QByteArray &head, int at, int byteOrder)
{
    const auto *p = reinterpret_cast<const uchar *>(head.constData() + at);
    return byteOrder == ELFDATA2LSB ? qFromLittleEndian<quint16>(p) : qFromBigEndian<quint16>(p);
}
} // namespace

QString headProblem(const QByteArray &head)
{
    if (head.size() < int(sizeof(Elf32_Ehdr)) || !head.startsWith(ELFMAG))
        return QStringLiteral("下载的文件不是这台电脑可以运行的程序");
    const int elfClass = head.at(EI_CLASS);
    const int byteOrder = head.at(EI_DATA);
    if (elfClass != ELFCLASS32 && elfClass != ELFCLASS64)
        return QStringLiteral("下载的程序文件已损坏");
    if (byteOrder != ELFDATA2LSB && byteOrder != ELFDATA2MSB)
        return QStringLiteral("下载的程序文件已损坏");
    // e_type and e_machine lie at the same place in both classes.
    const int type = half(head, 16, byteOrder);
    const int machine = half(head, 18, byteOrder);
    if (machine != kMachine || byteOrder != kByteOrder)
        return QStringLiteral("下载的程序是为%1电脑编译的，不能在这台%2电脑上运行")
            .arg(machineName(machine), machineName(kMachine));
    if (elfClass != kClass)
        return QStringLiteral("下载的程序是 %1 位的，这台电脑要用 %2 位的程序")
            .arg(elfClass == ELFCLASS64 ? 64 : 32)
            .arg(kClass == ELFCLASS64 ? 64 : 32);
    if (type != ET_EXEC && type != ET_DYN)
        return QStringLiteral("下载的文件不是可以运行的程序");
    return QString();
}

} // namespace programformat
