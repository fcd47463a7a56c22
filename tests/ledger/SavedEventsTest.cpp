// What a download run records of the events it saved: only events whose files are on the
// medium, with the size and SHA-256 of every file as it lies on disk, under an identity of
// the event that depends on its place on the card.

#include <atomic>
#include <cerrno>
#include <chrono>
#include <filesystem>
#include <optional>
#include <set>
#include <thread>

#include "base/Sha256.h"
#include "ledger/EventIdentity.h"
#include "ledger/Ledger.h"
#include "ledger/SavedEvents.h"
#include "platform/DurableFlush.h"
#include "platform/StagedFile.h"
#include "support/ConvertFixture.h"

namespace {

using testing_support::TCardBuilder;

// Paths flushed so far, and the path whose flush fails with ENOSPC.
std::set<std::string> Synced;
std::string FailingPath;
// When set, the flushes of paths holding HeldPathPart (the first event's files) wait until it
// is true (at most 5 s: then HeldTooLong).
std::atomic<bool>* FirstEventHeldUntil = nullptr;
std::string HeldPathPart = ".001";
std::atomic<bool> HeldTooLong{false};

int RecordingSync(int, const std::string& path, bool) {
  if (!FailingPath.empty() && path.find(FailingPath) != std::string::npos) return ENOSPC;
  if (FirstEventHeldUntil && path.find(HeldPathPart) != std::string::npos) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (!*FirstEventHeldUntil && !HeldTooLong) {
      if (std::chrono::steady_clock::now() > deadline) HeldTooLong = true;
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
  }
  // A file is flushed under its temporary name, before it gets its final one.
  Synced.insert(platform::FinalPathOf(path));
  return 0;
}

class TRecorder : public TSaveRecorder {
 public:
  std::vector<TSavedEvent> Events;
  // Files of recorded events that were not flushed when the event was recorded.
  std::vector<std::string> Unflushed;
  std::optional<std::string> Warning;
  std::optional<std::string> RecordSavedEvent(const TSavedEvent& event) override {
    for (const TSavedFile& file : event.Files) {
      if (!Synced.contains(file.Path) || !Synced.contains(platform::ParentDirectory(file.Path))) {
        Unflushed.push_back(file.Path);
      }
    }
    Events.push_back(event);
    return Warning;
  }
};

class SavedEvents : public TConvertFixture {
 public:
  SavedEvents() : Hook(&RecordingSync) {
    Synced.clear();
    FailingPath.clear();
  }
  void Download(int lines, const std::vector<int>& selected) {
    Host.Selected.assign(static_cast<size_t>(lines), false);
    for (int line : selected) Host.Selected[static_cast<size_t>(line)] = true;
    TDownloadSnapshot snapshot = Snapshot();
    snapshot.Recorder = &Recorder;
    Convert.DownloadEvents(snapshot, Host);
  }
  platform::TScopedSyncHook Hook;
  TRecorder Recorder;
};

std::span<const uint8_t, CardSignatureSize> SignatureOf(const std::string& text) {
  return std::span<const uint8_t, CardSignatureSize>(reinterpret_cast<const uint8_t*>(text.data()),
                                                     CardSignatureSize);
}

std::string IdentityOf(const TCardBuilder& card, size_t event) {
  const std::string header = card.Events[event].HeaderBytes();
  return EventIdentity(
      std::span<const uint8_t>(reinterpret_cast<const uint8_t*>(header.data()), header.size()),
      SignatureOf(card.Signature), card.EventOffset(event));
}

}  // namespace

TEST_F(SavedEvents, EveryFileIsRecordedAsWrittenUnderTheEventsPlaceOnTheCard) {
  // Two events alike in every header byte, one of each format after them.
  TCardBuilder card;
  card.Signature = "TARQP0410";
  card.Events = {SmallEvent("DEB", "3,23"), SmallEvent("DEB", "3,23"),
                 SmallEvent("DEB2", "4,23", "003")};
  Insert(card);
  AllKinds();
  Download(3, {0, 1, 2});
  ASSERT_TRUE(Host.Succeeded) << (Host.Errors.empty() ? "" : Host.Errors[0]);
  ASSERT_EQ(Recorder.Events.size(), 3u);
  EXPECT_TRUE(Recorder.Unflushed.empty()) << Recorder.Unflushed[0];

  std::set<std::string> identities;
  std::set<std::string> recordedPaths;
  const std::string dataFile = card.DataFileBytes();
  for (size_t i = 0; i < 3; ++i) {
    const TSavedEvent& event = Recorder.Events[i];
    EXPECT_EQ(event.EventIdentity, IdentityOf(card, i)) << i;
    // The content: the header after its marker, then the samples.
    const std::string header = card.Events[i].HeaderBytes();
    const size_t samples = static_cast<size_t>(card.Events[i].FrameCount()) *
                           static_cast<size_t>(card.Events[i].Channels_()) * 3;
    EXPECT_EQ(
        event.CardSha256,
        TSha256::HexOf(
            header.substr(EventMarkerSize) +
            dataFile.substr(static_cast<size_t>(card.EventOffset(i)) + header.size(), samples)))
        << i;
    identities.insert(event.EventIdentity);
    EXPECT_EQ(event.OriginalFileName, i == 2 ? "05121030.003" : "05121030.001");
    EXPECT_EQ(event.Destination, Settings.DataDir);
    EXPECT_EQ(event.Card.Signature, "TARQP0410");
    EXPECT_EQ(event.Card.Label, "USED CARD");
    EXPECT_EQ(event.Card.DataFileSize, card.DataFileSize());
    std::set<std::string> kinds;
    for (const TSavedFile& file : event.Files) {
      const std::string bytes = testing_support::ReadWholeFile(file.Path);
      EXPECT_EQ(file.Size, static_cast<int64_t>(bytes.size())) << file.Path;
      EXPECT_EQ(file.Sha256, TSha256::HexOf(bytes)) << file.Path;
      kinds.insert(file.Kind);
      recordedPaths.insert(file.Path);
    }
    EXPECT_EQ(kinds, (std::set<std::string>{"record", "sensor", "binary", "sac"}));
    // record + 2 sensors + binary + one SAC file per channel
    EXPECT_EQ(event.Files.size(), i == 2 ? 8u : 6u) << i;
  }
  EXPECT_EQ(identities.size(), 3u);
  EXPECT_EQ(recordedPaths.size(), OutputFiles().size());
}

TEST_F(SavedEvents, AnEventWhoseFlushFailsOrThatWasStoppedIsNotRecorded) {
  TCardBuilder card;
  card.Events = {SmallEvent("DEB", "3,23"), SmallEvent("DEB", "3,23", "002"),
                 SmallEvent("DEB", "3,23", "003")};
  Insert(card);
  Choose(Settings, OutputKindNamed("sac"), true);

  // The flush of one SAC file of the second event fails as a full disk: the run ends there,
  // as at a write error, and that event's files go, with those of the event converted while
  // it was being flushed. Then the same for the last event, whose flush nothing overlaps.
  for (const std::string failing : {".002_1_2N.sac", ".003_1_1Z.sac"}) {
    SCOPED_TRACE(failing);
    const std::string kept = failing == ".002_1_2N.sac" ? ".001" : ".002";
    std::filesystem::remove_all(Out.Path());
    std::filesystem::create_directory(Out.Path());
    Recorder.Events.clear();
    Host = TScriptedHost{};
    FailingPath = failing;
    Download(3, {0, 1, 2});
    EXPECT_FALSE(Host.Succeeded);
    EXPECT_EQ(Host.Errors, std::vector<std::string>{"Disque plein."});
    EXPECT_EQ(Recorder.Events.size(), kept == ".001" ? 1u : 2u);
    EXPECT_EQ(Recorder.Events.back().OriginalFileName, "05121030" + kept);
    EXPECT_EQ(Host.Deselected, (kept == ".001" ? std::vector<int>{0} : std::vector<int>{0, 1}));
    // A record file and three SAC files for each event saved.
    const std::vector<std::string> names = OutputFiles();
    EXPECT_EQ(names.size(), 4 * Recorder.Events.size());
    for (const std::string& name : names) {
      EXPECT_TRUE(name.find(".001") != std::string::npos || name.find(kept) != std::string::npos)
          << name;
    }
  }

  // A stop in the third event: its files are deleted and nothing is recorded of it, while
  // the event before, converted whole, is saved and its line deselected.
  std::filesystem::remove_all(Out.Path());
  std::filesystem::create_directory(Out.Path());
  FailingPath.clear();
  Recorder.Events.clear();
  Host = TScriptedHost{};
  Host.OnShowFileName = [this](int shown) {
    if (shown == 1) Convert.RequestStop();
  };
  Download(3, {1, 2});
  ASSERT_EQ(Recorder.Events.size(), 1u);
  EXPECT_EQ(Recorder.Events[0].OriginalFileName, "05121030.002");
  EXPECT_EQ(Host.Deselected, std::vector<int>{1});
  for (const std::string& name : OutputFiles()) EXPECT_EQ(name.find(".003"), std::string::npos);
}

// The conversion does not wait for the disk: the later events convert while the first is
// still being flushed, and each is reported saved, in order, once its files are there.
TEST_F(SavedEvents, LaterEventsConvertWhileAnEarlierOneIsFlushed) {
  TCardBuilder card;
  card.Events = {SmallEvent("DEB", "3,23"), SmallEvent("DEB", "3,23", "002"),
                 SmallEvent("DEB", "3,23", "003")};
  Insert(card);
  // The first event's files held, then (filing into the archive) its day files.
  for (const bool archive : {false, true}) {
    const std::string held = archive ? ".D" : ".001";
    SCOPED_TRACE(held);
    if (archive) {
      Settings.Kinds = KindSet({"record", "sds"});
      std::filesystem::remove_all(Out.Path());
      std::filesystem::create_directory(Out.Path());
      Recorder.Events.clear();
      Host = TScriptedHost{};
    }
    std::atomic<bool> thirdShown{false};
    HeldTooLong = false;
    HeldPathPart = held;
    FirstEventHeldUntil = &thirdShown;
    Host.OnShowFileName = [&](int shown) {
      if (shown == 2) thirdShown = true;
    };
    Download(3, {0, 1, 2});
    FirstEventHeldUntil = nullptr;
    EXPECT_FALSE(HeldTooLong);
    EXPECT_TRUE(Host.Succeeded);
    EXPECT_EQ(Host.Deselected, (std::vector<int>{0, 1, 2}));
    ASSERT_EQ(Recorder.Events.size(), 3u);
    EXPECT_EQ(Recorder.Events[0].OriginalFileName, "05121030.001");
    EXPECT_FALSE(archive && Recorder.Events[0].Channels.empty());
    EXPECT_TRUE(Recorder.Unflushed.empty());
  }
}

TEST_F(SavedEvents, ARecorderThatFailsWarnsOnceAndTheDownloadGoesOn) {
  TCardBuilder card;
  card.Events = {SmallEvent(), SmallEvent("DEB", "3,12", "002")};
  Insert(card);
  Recorder.Warning = "The download ledger is off";
  Download(2, {0, 1});
  EXPECT_TRUE(Host.Succeeded);
  EXPECT_EQ(Host.Errors, std::vector<std::string>{"The download ledger is off"});
  EXPECT_EQ(OutputFiles().size(), 2u);
}

TEST_F(SavedEvents, AnEventKeepsItsIdentityThroughEraseAndRestore) {
  TCardBuilder card;
  card.Events = {SmallEvent(), SmallEvent("DEB2", "4,23", "002"), SmallEvent("DEB", "3,12", "003")};
  Insert(card);
  testing_support::TTempDir home;
  TLedger ledger;
  ASSERT_FALSE(ledger.Open(home / "ledger.sqlite"));

  // Two of the three saved into the ledger: the third is what the guard names.
  Host.Selected.assign(3, false);
  Host.Selected[0] = Host.Selected[1] = true;
  TDownloadSnapshot snapshot = Snapshot();
  snapshot.Recorder = &ledger;
  Convert.DownloadEvents(snapshot, Host);
  ASSERT_TRUE(Host.Succeeded);
  const TCardEvents live = ReadCardEvents(Card);
  ASSERT_TRUE(live.Valid);
  ASSERT_EQ(live.Events.size(), 3u);
  std::vector<TCardEvent> unsaved = UnsavedEvents(live, &ledger);
  ASSERT_EQ(unsaved.size(), 1u);
  EXPECT_EQ(unsaved[0].OriginalFileName, "05121030.003");
  // Without a ledger nothing is known to be saved.
  TLedger closed;
  EXPECT_EQ(UnsavedEvents(live, &closed).size(), 3u);
  EXPECT_EQ(UnsavedEvents(live, nullptr).size(), 3u);

  // The real erase rewrites the markers: no live event is left, and the erased ones read in
  // restore mode are the same events, still saved.
  testing_support::TScriptedMessages boxes;
  ASSERT_TRUE(Card.EraseCard());
  EXPECT_TRUE(ReadCardEvents(Card).Events.empty());
  const TCardEvents erased = ReadCardEvents(Card, true);
  ASSERT_EQ(erased.Events.size(), 3u);
  for (size_t i = 0; i < 3; ++i) EXPECT_EQ(erased.Events[i].Identity, live.Events[i].Identity);
  EXPECT_EQ(erased.Card.Key, live.Card.Key);
  EXPECT_NE(erased.Card.Label, live.Card.Label);
  EXPECT_EQ(UnsavedEvents(erased, &ledger).size(), 1u);
  // And their content is the content saved.
  EXPECT_EQ(UnsavedEvents(erased, &ledger, TSavedCheck::Content).size(), 1u);

  // A file of a saved event gone: that event is no longer saved.
  std::filesystem::remove(ledger.List()[0].Files[0].Path);
  EXPECT_EQ(UnsavedEvents(erased, &ledger).size(), 2u);
}

TEST(SavedEventNames, TenNamesThenACount) {
  std::vector<TCardEvent> events;
  for (int i = 1; i <= 12; ++i) events.push_back({"E" + std::to_string(i), ""});
  const std::string all = EventNameList(events);
  EXPECT_EQ(all, "E1\nE2\nE3\nE4\nE5\nE6\nE7\nE8\nE9\nE10\nand 2 more\n");
  events.resize(10);
  EXPECT_EQ(EventNameList(events).find("more"), std::string::npos);
}
