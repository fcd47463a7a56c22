#include "ui/MountWatcher.h"

#include <QFile>
#include <QSocketNotifier>
#include <QTimer>

#include <fcntl.h>
#include <unistd.h>

TMountWatcher::TMountWatcher(QObject* parent, const QString& path) : QObject(parent), Path(path) {
  Table = ReadTable();
  // Only the kernel's tables report changes; a plain file is compared by the timer alone.
  if (Path.startsWith(QStringLiteral("/proc/"))) {
    Handle = ::open(QFile::encodeName(Path).constData(), O_RDONLY | O_CLOEXEC);
  }
  if (Handle >= 0) {
    // The table is read once through the handle, so that the kernel reports the next change.
    char buffer[4096];
    while (::read(Handle, buffer, sizeof buffer) > 0) {
    }
    Notifier = new QSocketNotifier(Handle, QSocketNotifier::Exception, this);
    connect(Notifier, &QSocketNotifier::activated, this, [this] {
      ::lseek(Handle, 0, SEEK_SET);
      char drain[4096];
      while (::read(Handle, drain, sizeof drain) > 0) {
      }
      Check();
    });
  }
  Poll = new QTimer(this);
  Poll->setInterval(PollMilliseconds);
  connect(Poll, &QTimer::timeout, this, &TMountWatcher::Check);
  Poll->start();
}

TMountWatcher::~TMountWatcher() {
  delete Notifier;
  if (Handle >= 0) ::close(Handle);
}

QByteArray TMountWatcher::ReadTable() const {
  QFile file(Path);
  if (!file.open(QIODevice::ReadOnly)) return {};
  // Files under /proc have no size: read until the end.
  QByteArray table;
  while (true) {
    const QByteArray piece = file.read(64 * 1024);
    if (piece.isEmpty()) break;
    table += piece;
  }
  return table;
}

bool TMountWatcher::Check() {
  QByteArray now = ReadTable();
  if (now == Table) return false;
  Table = std::move(now);
  emit MountsChanged();
  return true;
}
