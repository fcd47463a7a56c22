#include "convert/Ledger.h"

#include <fcntl.h>
#include <sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <ctime>
#include <filesystem>
#include <thread>
#include <vector>

#include "app/Sha256.h"
#include "platform/FileSystem.h"
#include "platform/IoError.h"

namespace {

constexpr int SchemaVersion = 1;
constexpr int BusyTimeoutMs = 15000;

constexpr const char* Schema = R"sql(
CREATE TABLE saves(
  id INTEGER PRIMARY KEY,
  event_id TEXT NOT NULL,
  card_key TEXT NOT NULL,
  card_signature TEXT NOT NULL,
  card_label TEXT NOT NULL,
  card_data_size INTEGER NOT NULL,
  card_used_size INTEGER NOT NULL,
  original_name TEXT NOT NULL,
  destination TEXT NOT NULL,
  saved_at TEXT NOT NULL,
  program_version TEXT NOT NULL);
CREATE INDEX saves_event ON saves(event_id);
CREATE INDEX saves_card ON saves(card_key);
CREATE TABLE files(
  id INTEGER PRIMARY KEY,
  save_id INTEGER NOT NULL REFERENCES saves(id) ON DELETE CASCADE,
  path TEXT NOT NULL,
  size INTEGER NOT NULL,
  sha256 TEXT NOT NULL,
  kind TEXT NOT NULL);
CREATE INDEX files_save ON files(save_id);
CREATE INDEX files_path ON files(path);
PRAGMA user_version = 1;
)sql";

// A prepared statement, finalized when it goes.
class TStatement {
 public:
  TStatement(sqlite3* db, const char* sql) {
    if (sqlite3_prepare_v2(db, sql, -1, &Handle, nullptr) != SQLITE_OK) Handle = nullptr;
  }
  ~TStatement() { sqlite3_finalize(Handle); }
  TStatement(const TStatement&) = delete;
  TStatement& operator=(const TStatement&) = delete;
  explicit operator bool() const { return Handle != nullptr; }

  TStatement& Bind(int index, const std::string& text) {
    sqlite3_bind_text(Handle, index, text.data(), static_cast<int>(text.size()), SQLITE_TRANSIENT);
    return *this;
  }
  TStatement& Bind(int index, int64_t value) {
    sqlite3_bind_int64(Handle, index, value);
    return *this;
  }
  int Step() { return sqlite3_step(Handle); }
  void Reset() { sqlite3_reset(Handle); }
  std::string Text(int column) const {
    const auto* text = sqlite3_column_text(Handle, column);
    return text ? std::string(reinterpret_cast<const char*>(text),
                              static_cast<size_t>(sqlite3_column_bytes(Handle, column)))
                : std::string();
  }
  int64_t Int(int column) const { return sqlite3_column_int64(Handle, column); }

 private:
  sqlite3_stmt* Handle = nullptr;
};

// Runs statements that return no rows; false on failure.
bool Execute(sqlite3* db, const char* sql) {
  return sqlite3_exec(db, sql, nullptr, nullptr, nullptr) == SQLITE_OK;
}

// The first column of the first row as text; empty on failure or no row.
std::string SingleText(sqlite3* db, const char* sql) {
  TStatement statement(db, sql);
  if (!statement || statement.Step() != SQLITE_ROW) return {};
  return statement.Text(0);
}

std::string AbsolutePath(const std::string& path) {
  std::error_code error;
  std::filesystem::path absolute = std::filesystem::absolute(path, error);
  if (error) absolute = path;
  std::string text = absolute.lexically_normal().string();
  while (text.size() > 1 && text.back() == '/') text.pop_back();
  return text;
}

bool UnderDirectory(const std::string& path, const std::string& directory) {
  if (directory.empty()) return true;
  if (directory == "/") return path.starts_with('/');
  return path.starts_with(directory) &&
         (path.size() == directory.size() || path[directory.size()] == '/');
}

// Size of a regular file, -1 when there is none at the path.
int64_t RegularFileSize(const std::string& path) {
  struct stat info;
  if (::stat(path.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) return -1;
  return static_cast<int64_t>(info.st_size);
}

// Reads a file through and checks it against its record.
void CheckFile(TVerifiedFile& result) {
  const std::string& path = result.File.Path;
  const int handle = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (handle < 0) {
    result.State = TFileState::Missing;
    result.Detail = platform::IoErrorText(platform::IoCodeFromErrno(errno));
    return;
  }
  struct stat info;
  if (::fstat(handle, &info) != 0 || !S_ISREG(info.st_mode)) {
    ::close(handle);
    result.State = TFileState::Missing;
    result.Detail = "not a regular file";
    return;
  }
  TSha256 hash;
  std::vector<char> buffer(1 << 20);
  int64_t total = 0;
  for (;;) {
    const ssize_t got = ::read(handle, buffer.data(), buffer.size());
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) {
      const int error = errno;
      ::close(handle);
      result.State = TFileState::Missing;
      result.Detail = platform::IoErrorText(platform::IoCodeFromErrno(error));
      return;
    }
    if (got == 0) break;
    hash.Update(buffer.data(), static_cast<size_t>(got));
    total += got;
  }
  ::close(handle);
  result.ActualSize = total;
  if (total != result.File.Size) {
    result.State = TFileState::Changed;
    result.Detail =
        "size " + std::to_string(total) + ", recorded " + std::to_string(result.File.Size);
  } else if (hash.FinalHex() != result.File.Sha256) {
    result.State = TFileState::Changed;
    result.Detail = "SHA-256 differs";
  } else {
    result.State = TFileState::Intact;
  }
}

}  // namespace

const char* FileStateText(TFileState state) {
  switch (state) {
    case TFileState::Intact:
      return "intact";
    case TFileState::Changed:
      return "changed";
    case TFileState::Missing:
      break;
  }
  return "missing";
}

std::string UtcNowText() {
  const std::time_t now = std::time(nullptr);
  std::tm utc{};
  ::gmtime_r(&now, &utc);
  char text[32];
  std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", &utc);
  return text;
}

TLedger::TLedger() : Now(UtcNowText) {}

TLedger::~TLedger() {
  Close();
}

std::string TLedger::DefaultPath() {
  return platform::UserDataDirectory() + "/ledger.sqlite";
}

std::string TLedger::Warning(const std::string& what) const {
  return "Download ledger " + FilePath + ": " + what + ".";
}

void TLedger::Close() {
  std::lock_guard guard(Lock);
  if (Db) sqlite3_close_v2(Db);
  Db = nullptr;
}

std::optional<std::string> TLedger::Open(const std::string& path) {
  Close();
  std::lock_guard guard(Lock);
  FilePath = path;
  // A second program opening the ledger at the same moment (creating it, switching it to WAL)
  // can make a step fail busy where SQLite calls no busy handler: such an open is tried again.
  bool busy = false;
  auto fail = [&](const std::string& what) -> std::optional<std::string> {
    if (Db) {
      const int code = sqlite3_errcode(Db) & 0xff;
      busy = code == SQLITE_BUSY || code == SQLITE_LOCKED;
    }
    if (Db) sqlite3_close_v2(Db);
    Db = nullptr;
    return Warning(what) +
           " The ledger is off: downloads go on, but no card can be shown safe "
           "to erase.";
  };

  const std::filesystem::path directory = std::filesystem::path(path).parent_path();
  if (!directory.empty()) {
    std::error_code error;
    std::filesystem::create_directories(directory, error);
    if (!std::filesystem::is_directory(directory)) {
      return fail("cannot create the directory " + directory.string() +
                  (error ? " (" + error.message() + ")" : std::string()));
    }
  }

  auto attempt = [&]() -> std::optional<std::string> {
    const int opened = sqlite3_open_v2(
        path.c_str(), &Db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_FULLMUTEX,
        nullptr);
    if (opened != SQLITE_OK) {
      return fail(Db ? sqlite3_errmsg(Db) : sqlite3_errstr(opened));
    }
    if (sqlite3_db_readonly(Db, "main") == 1) return fail("the file cannot be written");
    sqlite3_busy_timeout(Db, BusyTimeoutMs);
    sqlite3_extended_result_codes(Db, 1);

    // The first statement reads the file: a file that is not a database fails here.
    const std::string mode = SingleText(Db, "PRAGMA journal_mode=WAL");
    if (mode.empty()) return fail(sqlite3_errmsg(Db));
    if (const std::string check = SingleText(Db, "PRAGMA quick_check"); check != "ok") {
      return fail(check.empty() ? sqlite3_errmsg(Db) : "damaged (" + check + ")");
    }
    if (!Execute(Db, "PRAGMA synchronous=FULL; PRAGMA foreign_keys=ON")) {
      return fail(sqlite3_errmsg(Db));
    }

    auto version = [&] {
      TStatement statement(Db, "PRAGMA user_version");
      return statement && statement.Step() == SQLITE_ROW ? statement.Int(0) : -1;
    };
    // The failed statement's error, taken before the rollback replaces it.
    auto rollBackAndFail = [&] {
      const std::string error = sqlite3_errmsg(Db);
      const int code = sqlite3_errcode(Db) & 0xff;
      Execute(Db, "ROLLBACK");
      auto result = fail(error);
      busy = busy || code == SQLITE_BUSY || code == SQLITE_LOCKED;
      return result;
    };
    if (version() == 0) {
      // Another process may be creating it at the same moment: decide inside the transaction.
      if (!Execute(Db, "BEGIN IMMEDIATE")) return fail(sqlite3_errmsg(Db));
      if (version() == 0 && !Execute(Db, Schema)) return rollBackAndFail();
      if (!Execute(Db, "COMMIT")) return rollBackAndFail();
    }
    if (const int64_t found = version(); found != SchemaVersion) {
      return fail("unknown ledger version " + std::to_string(found));
    }
    return std::nullopt;
  };
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(BusyTimeoutMs);
  for (;;) {
    busy = false;
    std::optional<std::string> result = attempt();
    if (!result || !busy || std::chrono::steady_clock::now() >= deadline) return result;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
}

std::optional<std::string> TLedger::RecordSavedEvent(const TSavedEvent& event) {
  std::lock_guard guard(Lock);
  if (!Db) return Warning("not open");
  if (event.Files.empty()) return Warning("an event without files is not recorded");

  if (!Execute(Db, "BEGIN IMMEDIATE")) return Warning(sqlite3_errmsg(Db));
  auto rollback = [&] {
    const std::string error = sqlite3_errmsg(Db);
    Execute(Db, "ROLLBACK");
    return Warning(error);
  };

  TStatement save(Db,
                  "INSERT INTO saves(event_id, card_key, card_signature, card_label, "
                  "card_data_size, card_used_size, original_name, destination, saved_at, "
                  "program_version) VALUES(?,?,?,?,?,?,?,?,?,?)");
  if (!save) return rollback();
  save.Bind(1, event.EventIdentity)
      .Bind(2, event.Card.Key)
      .Bind(3, event.Card.Signature)
      .Bind(4, event.Card.Label)
      .Bind(5, event.Card.DataFileSize)
      .Bind(6, event.Card.UsedSize)
      .Bind(7, event.OriginalFileName)
      .Bind(8, AbsolutePath(event.Destination))
      .Bind(9, Now())
      .Bind(10, std::string(READTARQ_VERSION_TEXT));
  if (save.Step() != SQLITE_DONE) return rollback();
  const int64_t saveId = sqlite3_last_insert_rowid(Db);

  TStatement file(Db, "INSERT INTO files(save_id, path, size, sha256, kind) VALUES(?,?,?,?,?)");
  if (!file) return rollback();
  for (const TSavedFile& written : event.Files) {
    file.Reset();
    file.Bind(1, saveId)
        .Bind(2, AbsolutePath(written.Path))
        .Bind(3, written.Size)
        .Bind(4, written.Sha256)
        .Bind(5, written.Kind);
    if (file.Step() != SQLITE_DONE) return rollback();
  }
  if (!Execute(Db, "COMMIT")) return rollback();
  return std::nullopt;
}

std::vector<TSavedCopy> TLedger::Select(const std::string& where, const std::string& key) {
  std::vector<TSavedCopy> copies;
  std::lock_guard guard(Lock);
  if (!Db) return copies;
  const std::string sql =
      "SELECT s.id, s.event_id, s.card_key, s.card_signature, s.card_label, s.card_data_size, "
      "s.card_used_size, s.original_name, s.destination, s.saved_at, s.program_version, "
      "f.path, f.size, f.sha256, f.kind FROM saves s JOIN files f ON f.save_id = s.id " +
      where + " ORDER BY s.id, f.id";
  TStatement statement(Db, sql.c_str());
  if (!statement) return copies;
  if (!where.empty()) statement.Bind(1, key);
  while (statement.Step() == SQLITE_ROW) {
    const int64_t id = statement.Int(0);
    if (copies.empty() || copies.back().Id != id) {
      TSavedCopy copy;
      copy.Id = id;
      copy.EventIdentity = statement.Text(1);
      copy.Card.Key = statement.Text(2);
      copy.Card.Signature = statement.Text(3);
      copy.Card.Label = statement.Text(4);
      copy.Card.DataFileSize = statement.Int(5);
      copy.Card.UsedSize = statement.Int(6);
      copy.OriginalFileName = statement.Text(7);
      copy.Destination = statement.Text(8);
      copy.SavedAt = statement.Text(9);
      copy.ProgramVersion = statement.Text(10);
      copies.push_back(std::move(copy));
    }
    copies.back().Files.push_back(
        {statement.Text(11), statement.Int(12), statement.Text(13), statement.Text(14)});
  }
  return copies;
}

std::vector<TSavedCopy> TLedger::SavedCopies(const std::string& eventIdentity) {
  return Select("WHERE s.event_id = ?", eventIdentity);
}

std::vector<TSavedCopy> TLedger::List(const std::string& cardKey) {
  return cardKey.empty() ? Select("", "") : Select("WHERE s.card_key = ?", cardKey);
}

bool TLedger::IsSaved(const std::string& eventIdentity) {
  for (const TSavedCopy& copy : SavedCopies(eventIdentity)) {
    bool present = !copy.Files.empty();
    for (const TSavedFile& file : copy.Files) {
      present = present && RegularFileSize(file.Path) == file.Size;
    }
    if (present) return true;
  }
  return false;
}

std::vector<TVerifiedFile> TLedger::Verify(const std::string& directory) {
  std::vector<TVerifiedFile> files;
  const std::string under = directory.empty() ? std::string() : AbsolutePath(directory);
  {
    std::lock_guard guard(Lock);
    if (!Db) return files;
    TStatement statement(
        Db,
        "SELECT f.path, f.size, f.sha256, f.kind, s.event_id, s.original_name, s.saved_at "
        "FROM files f JOIN saves s ON s.id = f.save_id "
        "WHERE f.id IN (SELECT max(id) FROM files GROUP BY path) ORDER BY f.path");
    if (!statement) return files;
    while (statement.Step() == SQLITE_ROW) {
      TVerifiedFile file;
      file.File = {statement.Text(0), statement.Int(1), statement.Text(2), statement.Text(3)};
      if (!UnderDirectory(file.File.Path, under)) continue;
      file.EventIdentity = statement.Text(4);
      file.OriginalFileName = statement.Text(5);
      file.SavedAt = statement.Text(6);
      files.push_back(std::move(file));
    }
  }
  for (TVerifiedFile& file : files) CheckFile(file);
  return files;
}
