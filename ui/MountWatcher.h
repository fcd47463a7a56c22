#pragma once
// Notices file systems being mounted and unmounted (a card put in or taken out of the reader)
// by watching the system's mount table: the kernel flags /proc/self/mountinfo as exceptional
// whenever it changes, which a socket notifier sees at once; a timer compares the table every
// two seconds as well, for systems and file systems where that flag does not come.

#include <QByteArray>
#include <QObject>
#include <QString>

class QSocketNotifier;
class QTimer;

class TMountWatcher : public QObject {
  Q_OBJECT

 public:
  static constexpr int PollMilliseconds = 2000;

  // Watches the mount table at `path` (the process's own by default; tests give a file).
  explicit TMountWatcher(QObject* parent = nullptr,
                         const QString& path = QStringLiteral("/proc/self/mountinfo"));
  ~TMountWatcher() override;

  // Reads the table again and announces MountsChanged when it differs from the one read last.
  // Returns whether it did.
  bool Check();
  // Whether the kernel's change notification is in use (besides the timer).
  bool Notified() const { return Notifier != nullptr; }

 signals:
  void MountsChanged();

 private:
  QByteArray ReadTable() const;

  QString Path;
  QByteArray Table;
  int Handle = -1;
  QSocketNotifier* Notifier = nullptr;
  QTimer* Poll = nullptr;
};
