#include "ledger/Ledger.h"

#include <sqlite3.h>
#include <sys/stat.h>

#include <libmseed.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <charconv>
#include <chrono>
#include <cmath>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <iterator>
#include <map>
#include <thread>
#include <vector>

#include "base/Sha256.h"
#include "base/Utf8Text.h"
#include "platform/FileSystem.h"
#include "platform/IoError.h"

namespace {

constexpr int SchemaVersion = 4;
// A wait for another program is said after this long.
constexpr int64_t BusyNoticeMs = 1000;
// After a wait that gave up, the next ones last this long.
constexpr int64_t ShortWaitMs = 1000;

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
  program_version TEXT NOT NULL,
  card_sha256 TEXT NOT NULL DEFAULT '');
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
CREATE TABLE channels(
  id INTEGER PRIMARY KEY,
  save_id INTEGER NOT NULL REFERENCES saves(id) ON DELETE CASCADE,
  root TEXT NOT NULL,
  day_file TEXT NOT NULL,
  codes TEXT NOT NULL,
  record_starts TEXT NOT NULL,
  record_count INTEGER NOT NULL,
  sha256 TEXT NOT NULL);
CREATE INDEX channels_save ON channels(save_id);
CREATE TABLE event_values(
  save_id INTEGER PRIMARY KEY REFERENCES saves(id) ON DELETE CASCADE,
  serial INTEGER NOT NULL,
  channel_count INTEGER NOT NULL,
  sample_rate REAL NOT NULL,
  start_us INTEGER NOT NULL,
  end_us INTEGER NOT NULL,
  gain INTEGER NOT NULL,
  counts_per_volt REAL NOT NULL,
  fix_latitude_degrees INTEGER,
  fix_latitude_minutes REAL,
  fix_latitude_hemisphere TEXT,
  fix_longitude_degrees INTEGER,
  fix_longitude_minutes REAL,
  fix_longitude_hemisphere TEXT,
  fix_altitude REAL);
PRAGMA user_version = 4;
)sql";

// Layout 1 had no content hash of the events on the card: its saves keep an empty one.
constexpr const char* FromVersion1 = R"sql(
ALTER TABLE saves ADD COLUMN card_sha256 TEXT NOT NULL DEFAULT '';
PRAGMA user_version = 2;
)sql";

// Layout 2 recorded no archive. record_starts: the records' start times in microseconds since
// 1970, decimal, separated by commas, in file order.
constexpr const char* FromVersion2 = R"sql(
CREATE TABLE channels(
  id INTEGER PRIMARY KEY,
  save_id INTEGER NOT NULL REFERENCES saves(id) ON DELETE CASCADE,
  root TEXT NOT NULL,
  day_file TEXT NOT NULL,
  codes TEXT NOT NULL,
  record_starts TEXT NOT NULL,
  record_count INTEGER NOT NULL,
  sha256 TEXT NOT NULL);
CREATE INDEX channels_save ON channels(save_id);
PRAGMA user_version = 3;
)sql";

// Layout 3 kept no header values: its saves have none. Times in microseconds since 1970; the
// fix's columns are all NULL for an event without a GPS fix.
constexpr const char* FromVersion3 = R"sql(
CREATE TABLE event_values(
  save_id INTEGER PRIMARY KEY REFERENCES saves(id) ON DELETE CASCADE,
  serial INTEGER NOT NULL,
  channel_count INTEGER NOT NULL,
  sample_rate REAL NOT NULL,
  start_us INTEGER NOT NULL,
  end_us INTEGER NOT NULL,
  gain INTEGER NOT NULL,
  counts_per_volt REAL NOT NULL,
  fix_latitude_degrees INTEGER,
  fix_latitude_minutes REAL,
  fix_latitude_hemisphere TEXT,
  fix_longitude_degrees INTEGER,
  fix_longitude_minutes REAL,
  fix_longitude_hemisphere TEXT,
  fix_altitude REAL);
PRAGMA user_version = 4;
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
  TStatement& Bind(int index, double value) {
    sqlite3_bind_double(Handle, index, value);
    return *this;
  }
  TStatement& BindNull(int index) {
    sqlite3_bind_null(Handle, index);
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
  double Real(int column) const { return sqlite3_column_double(Handle, column); }
  bool IsNull(int column) const { return sqlite3_column_type(Handle, column) == SQLITE_NULL; }

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

// The path `path` under `from` has under `to`.
std::string MovedPath(const std::string& path, const std::string& from, const std::string& to) {
  const std::string rest = from == "/" ? path.substr(1) : path.substr(from.size());
  if (from == "/") return to == "/" ? "/" + rest : to + (rest.empty() ? "" : "/" + rest);
  const std::string moved = (to == "/" ? std::string() : to) + rest;
  return moved.empty() ? "/" : moved;
}

// Record start times as the ledger keeps them: decimal, separated by commas.
std::string StartsText(const std::vector<int64_t>& starts) {
  std::string text;
  for (const int64_t start : starts) {
    if (!text.empty()) text += ',';
    char digits[24];
    const auto end = std::to_chars(digits, digits + sizeof digits, start).ptr;
    text.append(digits, end);
  }
  return text;
}

// The start times of StartsText; what is not a number ends the list (a damaged row then finds
// fewer records).
std::vector<int64_t> StartsOf(const std::string& text) {
  std::vector<int64_t> starts;
  const char* at = text.data();
  const char* const end = at + text.size();
  while (at < end) {
    int64_t value = 0;
    const auto [next, error] = std::from_chars(at, end, value);
    if (error != std::errc()) break;
    starts.push_back(value);
    at = next;
    if (at < end && *at == ',') ++at;
  }
  return starts;
}

// SQLite keeps a NaN as NULL, which the columns refuse: such values (of a corrupt header) are
// left out rather than the save.
bool Storable(const TEventHeaderValues& v) {
  bool finite = std::isfinite(v.SampleRate) && std::isfinite(v.CountsPerVolt);
  if (v.Fix) {
    finite = finite && std::isfinite(v.Fix->LatitudeMinutes) &&
             std::isfinite(v.Fix->LongitudeMinutes) && std::isfinite(v.Fix->Altitude);
  }
  return finite;
}

int64_t SteadyMs() {
  return std::chrono::duration_cast<std::chrono::milliseconds>(
             std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

// A path as an SQLite URI's path: every byte that could be read as URI syntax escaped.
std::string UriPath(const std::string& path) {
  return PercentEncoded(path, [](unsigned char byte) {
    return std::isalnum(byte) || std::strchr("/-._~", static_cast<char>(byte)) != nullptr;
  });
}

}  // namespace

TVerifiedFile CheckSavedFile(const TSavedFile& file) {
  TVerifiedFile result;
  result.File = file;
  const std::string& path = file.Path;
  auto missing = [&](const std::string& why) {
    result.State = TFileState::Missing;
    result.Detail = why;
    return result;
  };
  // What is not a regular file is never opened: a FIFO would block the read, a device could
  // act on it.
  TSha256 hash;
  int64_t total = 0;
  try {
    total = platform::ReadRegularFile(
        path, [&hash](const char* data, size_t size) { hash.Update(data, size); });
  } catch (const platform::EInOutError& error) {
    return missing(error.what());
  }
  result.ActualSize = total;
  if (total != file.Size) {
    result.State = TFileState::Changed;
    result.Detail = "size " + std::to_string(total) + ", recorded " + std::to_string(file.Size);
  } else if (hash.FinalHex() != file.Sha256) {
    result.State = TFileState::Changed;
    result.Detail = "SHA-256 differs";
  } else {
    result.State = TFileState::Intact;
  }
  return result;
}

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

int TLedger::BusyWait(void* self, int count) {
  auto* ledger = static_cast<TLedger*>(self);
  const int64_t now = SteadyMs();
  if (count == 0) {
    ledger->BusySinceMs = now;
    ledger->BusyNoticed = false;
  }
  const int64_t waited = now - ledger->BusySinceMs;
  const int64_t timeout = BusyTimeoutMs.load();
  const int64_t limit = ledger->GaveUpWaiting ? std::min(ShortWaitMs, timeout) : timeout;
  if (waited >= limit) {
    ledger->GaveUpWaiting = true;
    return 0;
  }
  if (!ledger->BusyNoticed && waited >= BusyNoticeMs && ledger->OnBusy) {
    ledger->BusyNoticed = true;
    ledger->OnBusy(ledger->Warning("another program is using it; waiting for it (up to " +
                                   std::to_string((timeout + 999) / 1000) + " s)"));
  }
  std::this_thread::sleep_for(std::chrono::milliseconds(20));
  return 1;
}

std::optional<std::string> TLedger::Open(const std::string& path, TAccess access) {
  Close();
  std::lock_guard guard(Lock);
  FilePath = path;
  Version = 0;
  const bool readOnly = access == TAccess::ReadOnly;
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
  // A reader with no ledger to read has an empty one: nothing was saved.
  auto openEmpty = [&]() -> std::optional<std::string> {
    if (Db) sqlite3_close_v2(Db);
    Db = nullptr;
    if (sqlite3_open_v2(":memory:", &Db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_FULLMUTEX, nullptr) !=
            SQLITE_OK ||
        !Execute(Db, Schema)) {
      return fail(sqlite3_errmsg(Db));
    }
    Version = SchemaVersion;
    return std::nullopt;
  };

  if (readOnly) {
    struct stat info;
    if (::stat(path.c_str(), &info) != 0 && errno == ENOENT) return openEmpty();
  } else if (const std::filesystem::path directory = std::filesystem::path(path).parent_path();
             !directory.empty()) {
    std::error_code error;
    std::filesystem::create_directories(directory, error);
    if (!std::filesystem::is_directory(directory)) {
      return fail("cannot create the directory " + directory.string() +
                  (error ? " (" + error.message() + ")" : std::string()));
    }
  }

  auto version = [&] {
    TStatement statement(Db, "PRAGMA user_version");
    return statement && statement.Step() == SQLITE_ROW ? statement.Int(0) : -1;
  };
  auto connect = [&](const std::string& name, int flags) -> bool {
    if (Db) sqlite3_close_v2(Db);
    Db = nullptr;
    const int opened = sqlite3_open_v2(name.c_str(), &Db, flags | SQLITE_OPEN_FULLMUTEX, nullptr);
    if (opened != SQLITE_OK) return false;
    sqlite3_busy_handler(Db, &TLedger::BusyWait, this);
    sqlite3_extended_result_codes(Db, 1);
    return true;
  };

  auto attemptReadOnly = [&]() -> std::optional<std::string> {
    if (!connect(path, SQLITE_OPEN_READONLY)) {
      return fail(Db ? sqlite3_errmsg(Db) : "cannot be opened");
    }
    // A ledger in WAL mode on a medium that may not be written, where the reader cannot make
    // its shared-memory file: nobody can be writing it, it is read as it lies.
    std::string check = SingleText(Db, "PRAGMA quick_check");
    if (check.empty() && (sqlite3_errcode(Db) & 0xff) == SQLITE_CANTOPEN) {
      if (!connect("file:" + UriPath(path) + "?immutable=1",
                   SQLITE_OPEN_READONLY | SQLITE_OPEN_URI)) {
        return fail(Db ? sqlite3_errmsg(Db) : "cannot be opened");
      }
      check = SingleText(Db, "PRAGMA quick_check");
    }
    if (check != "ok") return fail(check.empty() ? sqlite3_errmsg(Db) : "damaged (" + check + ")");
    Version = version();
    if (Version == 0) return openEmpty();  // created a moment ago, not yet laid out
    if (Version < 1 || Version > SchemaVersion) {
      return fail("unknown ledger version " + std::to_string(Version));
    }
    return std::nullopt;
  };

  auto attempt = [&]() -> std::optional<std::string> {
    if (!connect(path, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE)) {
      return fail(Db ? sqlite3_errmsg(Db) : "cannot be opened");
    }
    if (sqlite3_db_readonly(Db, "main") == 1) return fail("the file cannot be written");

    // The first statement reads the file: a file that is not a database fails here.
    const std::string mode = SingleText(Db, "PRAGMA journal_mode=WAL");
    if (mode.empty()) return fail(sqlite3_errmsg(Db));
    if (const std::string check = SingleText(Db, "PRAGMA quick_check"); check != "ok") {
      return fail(check.empty() ? sqlite3_errmsg(Db) : "damaged (" + check + ")");
    }
    if (!Execute(Db, "PRAGMA synchronous=FULL; PRAGMA foreign_keys=ON")) {
      return fail(sqlite3_errmsg(Db));
    }

    // The failed statement's error, taken before the rollback replaces it.
    auto rollBackAndFail = [&] {
      const std::string error = sqlite3_errmsg(Db);
      const int code = sqlite3_errcode(Db) & 0xff;
      Execute(Db, "ROLLBACK");
      auto result = fail(error);
      busy = busy || code == SQLITE_BUSY || code == SQLITE_LOCKED;
      return result;
    };
    if (const int64_t found = version(); found >= 0 && found < SchemaVersion) {
      // Another process may be creating or updating it at the same moment: decide inside the
      // transaction. An older layout is brought up one step after the other.
      if (!Execute(Db, "BEGIN IMMEDIATE")) return fail(sqlite3_errmsg(Db));
      const int64_t inside = version();
      if (inside == 0 && !Execute(Db, Schema)) return rollBackAndFail();
      if (inside == 1 && !Execute(Db, FromVersion1)) return rollBackAndFail();
      if (inside >= 1 && inside <= 2 && !Execute(Db, FromVersion2)) return rollBackAndFail();
      if (inside >= 1 && inside <= 3 && !Execute(Db, FromVersion3)) return rollBackAndFail();
      if (!Execute(Db, "COMMIT")) return rollBackAndFail();
    }
    Version = version();
    if (Version != SchemaVersion) return fail("unknown ledger version " + std::to_string(Version));
    return std::nullopt;
  };
  const auto deadline =
      std::chrono::steady_clock::now() + std::chrono::milliseconds(BusyTimeoutMs.load());
  for (;;) {
    busy = false;
    std::optional<std::string> result = readOnly ? attemptReadOnly() : attempt();
    if (!result || !busy || std::chrono::steady_clock::now() >= deadline) return result;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
}

std::optional<std::string> TLedger::RecordSavedEvent(const TSavedEvent& event) {
  std::lock_guard guard(Lock);
  if (!Db) return Warning("not open");
  if (event.Files.empty() && event.Channels.empty()) {
    return Warning("an event without files is not recorded");
  }

  // Why the statement failed, in words: "database is locked" says little.
  auto error = [&]() -> std::string {
    const int code = sqlite3_errcode(Db) & 0xff;
    if (code == SQLITE_BUSY || code == SQLITE_LOCKED) {
      return "another program kept it locked; " + event.OriginalFileName +
             " was saved but not recorded";
    }
    return sqlite3_errmsg(Db);
  };
  if (!Execute(Db, "BEGIN IMMEDIATE")) return Warning(error());
  auto rollback = [&] {
    const std::string text = error();
    Execute(Db, "ROLLBACK");
    return Warning(text);
  };

  TStatement save(Db,
                  "INSERT INTO saves(event_id, card_key, card_signature, card_label, "
                  "card_data_size, card_used_size, original_name, destination, saved_at, "
                  "program_version, card_sha256) VALUES(?,?,?,?,?,?,?,?,?,?,?)");
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
      .Bind(10, std::string(READTARQ_VERSION_TEXT))
      .Bind(11, event.CardSha256);
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
  if (!event.Channels.empty()) {
    TStatement channel(Db,
                       "INSERT INTO channels(save_id, root, day_file, codes, record_starts, "
                       "record_count, sha256) VALUES(?,?,?,?,?,?,?)");
    if (!channel) return rollback();
    for (const TArchivedChannel& archived : event.Channels) {
      channel.Reset();
      channel.Bind(1, saveId)
          .Bind(2, AbsolutePath(archived.Root))
          .Bind(3, archived.DayFile)
          .Bind(4, archived.Codes)
          .Bind(5, StartsText(archived.RecordStarts))
          .Bind(6, static_cast<int64_t>(archived.RecordStarts.size()))
          .Bind(7, archived.Sha256);
      if (channel.Step() != SQLITE_DONE) return rollback();
    }
  }
  if (event.Values && Storable(*event.Values)) {
    const TEventHeaderValues& v = *event.Values;
    TStatement values(Db,
                      "INSERT INTO event_values(save_id, serial, channel_count, sample_rate, "
                      "start_us, end_us, gain, counts_per_volt, fix_latitude_degrees, "
                      "fix_latitude_minutes, fix_latitude_hemisphere, fix_longitude_degrees, "
                      "fix_longitude_minutes, fix_longitude_hemisphere, fix_altitude) "
                      "VALUES(?,?,?,?,?,?,?,?,?,?,?,?,?,?,?)");
    if (!values) return rollback();
    values.Bind(1, saveId)
        .Bind(2, v.Serial)
        .Bind(3, int64_t{v.ChannelCount})
        .Bind(4, v.SampleRate)
        .Bind(5, v.Start)
        .Bind(6, v.End)
        .Bind(7, int64_t{v.Gain})
        .Bind(8, v.CountsPerVolt);
    if (const std::optional<TGpsReading>& fix = v.Fix) {
      values.Bind(9, int64_t{fix->LatitudeDegrees})
          .Bind(10, fix->LatitudeMinutes)
          .Bind(11, std::string(1, fix->LatitudeHemisphere))
          .Bind(12, int64_t{fix->LongitudeDegrees})
          .Bind(13, fix->LongitudeMinutes)
          .Bind(14, std::string(1, fix->LongitudeHemisphere))
          .Bind(15, fix->Altitude);
    } else {
      for (int column = 9; column <= 15; ++column) values.BindNull(column);
    }
    if (values.Step() != SQLITE_DONE) return rollback();
  }
  if (!Execute(Db, "COMMIT")) return rollback();
  GaveUpWaiting = false;
  return std::nullopt;
}

std::vector<TSavedCopy> TLedger::Select(const std::string& where, const std::string& key) {
  std::vector<TSavedCopy> copies;
  std::lock_guard guard(Lock);
  if (!Db) return copies;
  const std::string sql =
      "SELECT s.id, s.event_id, s.card_key, s.card_signature, s.card_label, s.card_data_size, "
      "s.card_used_size, s.original_name, s.destination, s.saved_at, s.program_version, "
      "f.path, f.size, f.sha256, f.kind, " +
      std::string(Version >= 2 ? "s.card_sha256" : "''") +
      " FROM saves s LEFT JOIN files f ON f.save_id = s.id " + where + " ORDER BY s.id, f.id";
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
      copy.CardSha256 = statement.Text(15);
      copies.push_back(std::move(copy));
    }
    // A save filed into an archive only has no file.
    if (statement.IsNull(11)) continue;
    copies.back().Files.push_back(
        {statement.Text(11), statement.Int(12), statement.Text(13), statement.Text(14)});
  }
  SelectChannels(copies);
  SelectValues(copies);
  return copies;
}

void TLedger::SelectChannels(std::vector<TSavedCopy>& copies) {
  if (Version < 3 || copies.empty()) return;
  TStatement statement(Db,
                       "SELECT root, day_file, codes, record_starts, sha256 FROM channels "
                       "WHERE save_id = ? ORDER BY id");
  if (!statement) return;
  for (TSavedCopy& copy : copies) {
    statement.Reset();
    statement.Bind(1, copy.Id);
    while (statement.Step() == SQLITE_ROW) {
      copy.Channels.push_back({statement.Text(0), statement.Text(1), statement.Text(2),
                               StartsOf(statement.Text(3)), statement.Text(4)});
    }
  }
}

namespace {

constexpr const char* ValueColumns =
    "serial, channel_count, sample_rate, start_us, end_us, gain, counts_per_volt, "
    "fix_latitude_degrees, fix_latitude_minutes, fix_latitude_hemisphere, "
    "fix_longitude_degrees, fix_longitude_minutes, fix_longitude_hemisphere, fix_altitude";

// The values of ValueColumns from column `first` of the row in hand.
TEventHeaderValues ValuesOf(const TStatement& row, int first) {
  TEventHeaderValues v;
  v.Serial = row.Int(first);
  v.ChannelCount = static_cast<int>(row.Int(first + 1));
  v.SampleRate = row.Real(first + 2);
  v.Start = row.Int(first + 3);
  v.End = row.Int(first + 4);
  v.Gain = static_cast<int>(row.Int(first + 5));
  v.CountsPerVolt = row.Real(first + 6);
  const std::string north = row.Text(first + 9);
  const std::string east = row.Text(first + 12);
  if (!row.IsNull(first + 7) && north.size() == 1 && east.size() == 1) {
    v.Fix = TGpsReading{static_cast<int32_t>(row.Int(first + 7)),
                        row.Real(first + 8),
                        north[0],
                        static_cast<int32_t>(row.Int(first + 10)),
                        row.Real(first + 11),
                        east[0],
                        row.Real(first + 13)};
  }
  return v;
}

}  // namespace

void TLedger::SelectValues(std::vector<TSavedCopy>& copies) {
  if (Version < 4 || copies.empty()) return;
  TStatement statement(
      Db, ("SELECT " + std::string(ValueColumns) + " FROM event_values WHERE save_id = ?").c_str());
  if (!statement) return;
  for (TSavedCopy& copy : copies) {
    statement.Reset();
    statement.Bind(1, copy.Id);
    if (statement.Step() == SQLITE_ROW) copy.Values = ValuesOf(statement, 0);
  }
}

std::vector<TArchivedEvent> TLedger::ArchivedEvents(const std::string& root) {
  std::vector<TArchivedEvent> events;
  std::lock_guard guard(Lock);
  if (!Db || Version < 3) return events;
  // A save without values (an older one) leaves its columns NULL.
  const std::string sql =
      "SELECT s.event_id, s.original_name, " +
      (Version >= 4 ? "v.save_id, " + std::string(ValueColumns) : std::string("NULL")) +
      " FROM saves s " + (Version >= 4 ? "LEFT JOIN event_values v ON v.save_id = s.id " : "") +
      "WHERE s.id IN (SELECT save_id FROM channels WHERE root = ?) ORDER BY s.id";
  TStatement statement(Db, sql.c_str());
  if (!statement) return events;
  statement.Bind(1, AbsolutePath(root));
  std::map<std::string, size_t> seen;  // event identity: its place in `events`
  while (statement.Step() == SQLITE_ROW) {
    const std::string identity = statement.Text(0);
    auto [at, added] = seen.emplace(identity, events.size());
    if (added) events.push_back({identity, statement.Text(1), std::nullopt});
    if (Version >= 4 && !statement.IsNull(2)) events[at->second].Values = ValuesOf(statement, 3);
  }
  return events;
}

std::vector<TSavedCopy> TLedger::SavedCopies(const std::string& eventIdentity) {
  return Select("WHERE s.event_id = ?", eventIdentity);
}

std::vector<TSavedCopy> TLedger::List(const std::string& cardKey) {
  return cardKey.empty() ? Select("", "") : Select("WHERE s.card_key = ?", cardKey);
}

std::vector<TSavedCopy> TLedger::ListEvents(const std::vector<std::string>& eventIdentities) {
  std::vector<TSavedCopy> copies;
  std::vector<std::string> identities = eventIdentities;
  std::sort(identities.begin(), identities.end());
  identities.erase(std::unique(identities.begin(), identities.end()), identities.end());
  for (const std::string& identity : identities) {
    std::vector<TSavedCopy> more = SavedCopies(identity);
    std::move(more.begin(), more.end(), std::back_inserter(copies));
  }
  std::sort(copies.begin(), copies.end(),
            [](const TSavedCopy& a, const TSavedCopy& b) { return a.Id < b.Id; });
  return copies;
}

bool TLedger::IsSaved(const std::string& eventIdentity) {
  for (const TSavedCopy& copy : SavedCopies(eventIdentity)) {
    bool present = !copy.Files.empty() || !copy.Channels.empty();
    for (const TSavedFile& file : copy.Files) {
      present = present && platform::RegularFileSize(file.Path) == file.Size;
    }
    for (const TArchivedChannel& channel : copy.Channels) {
      present = present && platform::RegularFileSize(channel.Path()) >= 0;
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
  for (TVerifiedFile& file : files) {
    TVerifiedFile checked = CheckSavedFile(file.File);
    file.State = checked.State;
    file.ActualSize = checked.ActualSize;
    file.Detail = std::move(checked.Detail);
  }
  return files;
}

std::vector<TVerifiedChannel> TLedger::VerifyArchive(const std::string& directory) {
  std::vector<TVerifiedChannel> channels;
  const std::string under = directory.empty() ? std::string() : AbsolutePath(directory);
  {
    std::lock_guard guard(Lock);
    if (!Db || Version < 3) return channels;
    TStatement statement(
        Db,
        "SELECT c.root, c.day_file, c.codes, c.record_starts, c.sha256, s.event_id, "
        "s.original_name, s.saved_at FROM channels c JOIN saves s ON s.id = c.save_id "
        "WHERE c.id IN (SELECT max(id) FROM channels GROUP BY root, day_file, codes, "
        "record_starts) ORDER BY c.root, c.day_file, c.id");
    if (!statement) return channels;
    while (statement.Step() == SQLITE_ROW) {
      TVerifiedChannel channel;
      channel.Channel = {statement.Text(0), statement.Text(1), statement.Text(2),
                         StartsOf(statement.Text(3)), statement.Text(4)};
      if (!UnderDirectory(channel.Channel.Path(), under)) continue;
      channel.EventIdentity = statement.Text(5);
      channel.OriginalFileName = statement.Text(6);
      channel.SavedAt = statement.Text(7);
      channels.push_back(std::move(channel));
    }
  }
  TDayFileReader reader;
  for (TVerifiedChannel& channel : channels) {
    TVerifiedChannel checked = reader.Check(channel.Channel);
    channel.State = checked.State;
    channel.RecordsFound = checked.RecordsFound;
    channel.Detail = std::move(checked.Detail);
  }
  return channels;
}

std::optional<std::string> TLedger::Relocate(const std::string& from, const std::string& to,
                                             std::vector<TRelocated>& found) {
  found.clear();
  const std::string oldRoot = AbsolutePath(from);
  const std::string newRoot = AbsolutePath(to);
  if (oldRoot == newRoot) return Warning("the old and the new place are the same");
  // What lies under the old directory, by save: the file and channel rows to move.
  struct TRow {
    int64_t Id = 0;
    bool Channel = false;
    TSavedFile File;
    TArchivedChannel Archived;
    size_t Found = 0;  // its place in `found`
  };
  std::map<int64_t, std::vector<TRow>> saves;
  std::map<int64_t, std::string> destinations;
  {
    std::lock_guard guard(Lock);
    if (!Db) return Warning("not open");
    TStatement files(Db,
                     "SELECT f.id, f.save_id, f.path, f.size, f.sha256, f.kind, s.original_name, "
                     "s.destination FROM files f JOIN saves s ON s.id = f.save_id "
                     "WHERE f.id IN (SELECT max(id) FROM files GROUP BY path) ORDER BY f.path");
    if (!files) return Warning(sqlite3_errmsg(Db));
    while (files.Step() == SQLITE_ROW) {
      TRow row;
      row.Id = files.Int(0);
      row.File = {files.Text(2), files.Int(3), files.Text(4), files.Text(5)};
      if (!UnderDirectory(row.File.Path, oldRoot)) continue;
      const std::string newPath = MovedPath(row.File.Path, oldRoot, newRoot);
      row.Found = found.size();
      found.push_back({row.File.Path, newPath, TFileState::Missing, {}, files.Text(6)});
      row.File.Path = newPath;
      destinations[files.Int(1)] = files.Text(7);
      saves[files.Int(1)].push_back(std::move(row));
    }
    if (Version >= 3) {
      TStatement channels(
          Db,
          "SELECT c.id, c.save_id, c.root, c.day_file, c.codes, c.record_starts, c.sha256, "
          "s.original_name, s.destination FROM channels c JOIN saves s ON s.id = c.save_id "
          "WHERE c.id IN (SELECT max(id) FROM channels GROUP BY root, day_file, codes, "
          "record_starts) ORDER BY c.root, c.day_file, c.id");
      if (!channels) return Warning(sqlite3_errmsg(Db));
      while (channels.Step() == SQLITE_ROW) {
        TRow row;
        row.Id = channels.Int(0);
        row.Channel = true;
        row.Archived = {channels.Text(2), channels.Text(3), channels.Text(4),
                        StartsOf(channels.Text(5)), channels.Text(6)};
        if (!UnderDirectory(row.Archived.Root, oldRoot)) continue;
        const std::string oldPath = row.Archived.Path();
        row.Archived.Root = MovedPath(row.Archived.Root, oldRoot, newRoot);
        row.Found = found.size();
        found.push_back({oldPath, row.Archived.Path(), TFileState::Missing, {}, channels.Text(7)});
        destinations[channels.Int(1)] = channels.Text(8);
        saves[channels.Int(1)].push_back(std::move(row));
      }
    }
  }
  // The new places are read without the lock: another program may record meanwhile.
  TDayFileReader reader;
  for (auto& [save, rows] : saves) {
    for (TRow& row : rows) {
      TRelocated& place = found[row.Found];
      if (row.Channel) {
        TVerifiedChannel checked = reader.Check(row.Archived);
        place.State = checked.State;
        place.Detail = std::move(checked.Detail);
      } else {
        TVerifiedFile checked = CheckSavedFile(row.File);
        place.State = checked.State;
        place.Detail = std::move(checked.Detail);
      }
    }
  }

  std::lock_guard guard(Lock);
  if (!Db) return Warning("not open");
  if (!Execute(Db, "BEGIN IMMEDIATE")) return Warning(sqlite3_errmsg(Db));
  auto rollback = [&] {
    const std::string text = sqlite3_errmsg(Db);
    Execute(Db, "ROLLBACK");
    return Warning(text);
  };
  TStatement file(Db, "UPDATE files SET path = ? WHERE id = ?");
  TStatement channel(Db, "UPDATE channels SET root = ? WHERE id = ?");
  TStatement destination(Db, "UPDATE saves SET destination = ? WHERE id = ?");
  if (!file || !channel || !destination) return rollback();
  for (const auto& [save, rows] : saves) {
    const bool intact = std::all_of(rows.begin(), rows.end(), [&](const TRow& row) {
      return found[row.Found].State == TFileState::Intact;
    });
    if (!intact) continue;
    for (const TRow& row : rows) {
      TStatement& update = row.Channel ? channel : file;
      update.Reset();
      update.Bind(1, row.Channel ? row.Archived.Root : row.File.Path).Bind(2, row.Id);
      if (update.Step() != SQLITE_DONE) return rollback();
    }
    if (const std::string& old = destinations[save]; UnderDirectory(old, oldRoot)) {
      destination.Reset();
      destination.Bind(1, MovedPath(old, oldRoot, newRoot)).Bind(2, save);
      if (destination.Step() != SQLITE_DONE) return rollback();
    }
  }
  if (!Execute(Db, "COMMIT")) return rollback();
  return std::nullopt;
}

struct TDayFileReader::TDayFile {
  struct TRecord {
    std::string Codes;  // NET.STA.LOC.CHA
    int64_t Start = 0;  // microseconds since 1970
    size_t Offset = 0;
    size_t Length = 0;
  };
  std::string Path;
  std::string Bytes;
  std::string Error;       // why it cannot be read; it then holds no record
  std::string Unreadable;  // where its records stop being miniSEED; empty when all are read
  std::vector<TRecord> Records;
};

TDayFileReader::TDayFileReader() = default;
TDayFileReader::~TDayFileReader() = default;

namespace {

std::string TrimmedCode(const char* code) {
  std::string text(code);
  while (!text.empty() && text.back() == ' ') text.pop_back();
  return text;
}

// Kept in memory at most: day files of a few channels of a busy day.
constexpr size_t KeptDayFileBytes = 64 << 20;

}  // namespace

const TDayFileReader::TDayFile& TDayFileReader::Read(const std::string& path) {
  for (const auto& file : Files) {
    if (file->Path == path) return *file;
  }
  auto file = std::make_unique<TDayFile>();
  file->Path = path;
  try {
    platform::ReadRegularFile(
        path, [&](const char* data, size_t size) { file->Bytes.append(data, size); });
  } catch (const platform::EInOutError& error) {
    file->Error = error.what();
    file->Bytes.clear();
  }
  MSRecord* msr = nullptr;
  std::vector<char> copy;  // libmseed takes a char*; the bytes stay as read
  size_t at = 0;
  const std::string& bytes = file->Bytes;
  while (at < bytes.size()) {
    const int available = static_cast<int>(std::min<size_t>(bytes.size() - at, 1 << 20));
    const int length = ms_detect(bytes.data() + at, available);
    copy.assign(bytes.data() + at, bytes.data() + at + std::max(length, 0));
    if (length <= 0 || static_cast<size_t>(length) > bytes.size() - at ||
        msr_parse(copy.data(), length, &msr, length, 0, 0) != MS_NOERROR) {
      file->Unreadable = "no miniSEED record at byte " + std::to_string(at);
      break;
    }
    file->Records.push_back({TrimmedCode(msr->network) + "." + TrimmedCode(msr->station) + "." +
                                 TrimmedCode(msr->location) + "." + TrimmedCode(msr->channel),
                             msr->starttime, at, static_cast<size_t>(length)});
    at += static_cast<size_t>(length);
  }
  msr_free(&msr);
  if (KeptBytes + bytes.size() > KeptDayFileBytes) {
    Files.clear();
    KeptBytes = 0;
  }
  KeptBytes += bytes.size();
  Files.push_back(std::move(file));
  return *Files.back();
}

TVerifiedChannel TDayFileReader::Check(const TArchivedChannel& channel) {
  TVerifiedChannel result;
  result.Channel = channel;
  const TDayFile& file = Read(channel.Path());
  if (!file.Error.empty()) {
    result.State = TFileState::Missing;
    result.Detail = file.Error;
    return result;
  }
  // Both in time order: a merge. A record that is not there leaves its start time behind.
  const std::vector<int64_t>& starts = channel.RecordStarts;
  TSha256 hash;
  size_t next = 0;
  int64_t found = 0;
  for (const TDayFile::TRecord& record : file.Records) {
    if (next == starts.size()) break;
    if (record.Codes != channel.Codes) continue;
    while (next < starts.size() && starts[next] < record.Start) ++next;
    if (next < starts.size() && starts[next] == record.Start) {
      hash.Update(file.Bytes.data() + record.Offset, record.Length);
      ++found;
      ++next;
    }
  }
  result.RecordsFound = found;
  const auto wanted = static_cast<int64_t>(starts.size());
  if (found == wanted) {
    if (hash.FinalHex() == channel.Sha256) {
      result.State = TFileState::Intact;
      return result;
    }
    result.State = TFileState::Changed;
    result.Detail = "SHA-256 differs";
  } else {
    result.State = found == 0 ? TFileState::Missing : TFileState::Changed;
    result.Detail = std::to_string(found) + " of " + std::to_string(wanted) + " records found";
  }
  if (!file.Unreadable.empty()) result.Detail += " (" + file.Unreadable + ")";
  return result;
}
