// SPDX-License-Identifier: GPL-3.0-or-later
#include "serial/DeviceAccess.h"

#include <QFileInfo>
#include <QStringList>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <grp.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace DeviceAccess {

namespace {

QString UserName(uid_t uid) {
    const passwd *p = ::getpwuid(uid);
    return p ? QString::fromLocal8Bit(p->pw_name) : QString::number(uid);
}

QString GroupName(gid_t gid) {
    const group *g = ::getgrgid(gid);
    return g ? QString::fromLocal8Bit(g->gr_name) : QString::number(gid);
}

// The groups this process has: its own and the supplementary ones.
std::vector<gid_t> ProcessGroups() {
    std::vector<gid_t> groups(size_t(std::max(::getgroups(0, nullptr), 0)));
    const int n = ::getgroups(int(groups.size()), groups.data());
    groups.resize(size_t(std::max(n, 0)));
    if (std::find(groups.begin(), groups.end(), ::getegid()) == groups.end())
        groups.insert(groups.begin(), ::getegid());
    return groups;
}

// The account's groups as the group file has them now: one added since the
// session began is there, but not in ProcessGroups().
bool AccountInGroup(uid_t uid, gid_t gid) {
    const passwd *p = ::getpwuid(uid);
    if (!p)
        return false;
    const QByteArray name(p->pw_name);
    int count = 64;
    std::vector<gid_t> groups(static_cast<size_t>(count));
    if (::getgrouplist(name.constData(), p->pw_gid, groups.data(), &count) < 0) {
        groups.resize(size_t(count));
        if (::getgrouplist(name.constData(), p->pw_gid, groups.data(), &count) < 0)
            return false;
    }
    groups.resize(size_t(count));
    return std::find(groups.begin(), groups.end(), gid) != groups.end();
}

// "user alice (groups alice, cdrom)"
QString Who(const std::vector<gid_t> &groups) {
    QStringList names;
    for (gid_t g : groups)
        names << GroupName(g);
    return QStringLiteral("user %1 (groups %2)")
        .arg(UserName(::geteuid()), names.join(QStringLiteral(", ")));
}

} // namespace

Denial Explain(const QString &path) {
    const std::vector<gid_t> groups = ProcessGroups();
    const QString who = Who(groups);
    struct stat st {};
    if (::stat(QFile::encodeName(path).constData(), &st) != 0) {
        const int error = errno;
        return {Cause::Other,
                QStringLiteral("%1 cannot look at %2 (%3): a folder on its way is closed to "
                               "that user.")
                    .arg(who, path, QString::fromLocal8Bit(std::strerror(error)))};
    }
    // A link (/dev/serial/by-id/...) named with the device it leads to.
    QString device = path;
    const QString target = QFileInfo(path).canonicalFilePath();
    if (!target.isEmpty() && target != path)
        device += QStringLiteral(" (%1)").arg(target);
    const QString group = GroupName(st.st_gid);
    const QString facts = QStringLiteral("%1 is %2:%3, mode %4")
                              .arg(device, UserName(st.st_uid), group)
                              .arg(st.st_mode & 07777, 4, 8, QLatin1Char('0'));
    const bool groupMay = (st.st_mode & (S_IRGRP | S_IWGRP)) == (S_IRGRP | S_IWGRP);
    const bool inGroup = std::find(groups.begin(), groups.end(), st.st_gid) != groups.end();
    // The owner's bits decide for the owner, whatever the group's say.
    const bool ownerMay = (st.st_mode & (S_IRUSR | S_IWUSR)) == (S_IRUSR | S_IWUSR);
    if (st.st_uid == ::geteuid() && !ownerMay)
        return {Cause::Other,
                QStringLiteral("%1: %2 owns it, and its owner's bits do not let it read and "
                               "write (chmod u+rw %3).")
                    .arg(facts, who, path)};
    if (!groupMay)
        return {
            Cause::NoGroupAccess,
            QStringLiteral("%1: its group may not read and write it, so no group opens it "
                           "for %2. Give the device a group with a udev rule (GROUP=\"dialout\", "
                           "MODE=\"0660\"), or ask who set it up.")
                .arg(facts, who)};
    if (!inGroup) {
        // Joining root's group would open far more than this device.
        if (st.st_gid == 0)
            return {Cause::NotInGroup,
                    QStringLiteral("%1: open only to the group root, which %2 is not in and "
                                   "should not join. Give the device the group dialout with a "
                                   "udev rule (GROUP=\"dialout\", MODE=\"0660\") and add the "
                                   "user to dialout (sudo adduser %3 dialout).")
                        .arg(facts, who, UserName(::geteuid()))};
        if (AccountInGroup(::geteuid(), st.st_gid))
            return {Cause::NotInGroup,
                    QStringLiteral("%1: open to the group %2, which %3 is not in yet: the "
                                   "account was added to it after this session began. Log "
                                   "out and in again.")
                        .arg(facts, group, who)};
        return {Cause::NotInGroup,
                QStringLiteral("%1: open to the group %2, which %3 is not in. Add the user to "
                               "it (sudo adduser %4 %2), then log out and in again.")
                    .arg(facts, group, who, UserName(::geteuid()))};
    }
    return {Cause::Other,
            QStringLiteral("%1, and %2 %3: something beyond the mode refuses, such as an access "
                           "list (getfacl %4), a security module, or a service's device list "
                           "(DeviceAllow=).")
                .arg(facts, who,
                     st.st_uid == ::geteuid() ? QStringLiteral("owns it")
                                              : QStringLiteral("is in its group"),
                     path)};
}

} // namespace DeviceAccess
