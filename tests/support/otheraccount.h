// Another account of this machine, for the copies of the game a test starts
// (a class folder shared by the pupils of a group): Unix plays one as root
// with setpriv; elsewhere none is played.
#pragma once

#include <QString>
#include <QStringList>

namespace segni::testing {

// Empty when another account can be played here; else why not.
QString whyNoOtherAccount();
// The program and its arguments, to be run as the other account.
QStringList asOtherAccount(const QString &program, const QStringList &arguments);
// Makes a folder one where everybody may make files and nobody may move or
// remove another's (the sticky bit), its files writable by all, and gives
// one of them to a third account.
bool shareStickily(const QString &folder, const QString &givenAway);

} // namespace segni::testing
