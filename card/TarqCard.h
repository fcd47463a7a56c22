#pragma once
// The card side of the card unit: the layout of the card files, the walk over their events,
// the probe that classifies a drive, the directory of events, sizes and status, and the
// maintenance operations erase and initialize (restore is a reading mode).
//
// Data file fichbase.dat, read and written in 3-byte records (one record is one sample):
//
//   byte 0     9 bytes   CardSignature ("TARQPROBE", or "TARQP" + version, or "TARQ" + version)
//   byte 9     events, back to back: EventHeader (117 or 171 bytes), SamplesPerChannel frames
//              of ChannelCount 3-byte samples, a 9-byte EventTrailer
//   then       undefined content up to the end of the file
//
// Event header: 9-byte blank-padded text fields, trailing blanks removed before use.
//
//   off  field  format  value(s)
//     0    1    1, 2    Marker: DEB / DEB2 (live), ERASED / ERASED2 (erased) -> EventFormat
//     9    2    1, 2    ChannelCount "," StationSerial
//    18    3    1, 2    not read
//    27    4    1, 2    FileStem, MMDDhhmm of the start
//    36    5    1, 2    StartSecond (chars 1-2), StartMillisecond (chars 3-5)
//    45    6    1, 2    file number NNN: OriginalFileName = FileStem + "." + it (12 chars at most)
//    54    7    1, 2    not read
//    63    8    1, 2    SampleRate "," DurationMinutes; SamplesPerChannel = rate x minutes x 60
//    72    9    1, 2    Gain [ "," DynamicRange (format 2 from version 508) ]
//    81   10    1, 2    ClippedSamples (real, percent)
//    90   11    1, 2    FullScale
//    99   12    1, 2    MaxAmplitude
//   108   13    2       Latitude, hemisphere "," Longitude, hemisphere (45N,006E)
//   117   14    2       LatitudeMinutes (real)
//   126   15    2       LongitudeMinutes (real)
//   135   16    2       SatelliteCount "," Altitude
//   144   17    2       DurationMs (version >= 410) or EndStamp MMDDhhmm (version < 410)
//   153   18    2       EndSecond (chars 1-2), EndMillisecond (chars 3-5) (version < 410)
//   108 / 162   HeaderEnd, 9 bytes, not interpreted
//
// Sector file secttarq.hex, 2048 bytes: CardLabel (24 bytes, "CARTE FLASH NEUVE" and seven
// blanks on a new or erased card), DataEndHex (8 hex digits: data file size - 3), zeros.

#include <array>
#include <cstdint>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "base/Messages.h"
#include "platform/Drives.h"
#include "platform/RecordFile.h"

// The values of the event header read last.
struct TEventHeader {
  std::string Marker;
  int EventFormat = 1;
  int32_t ChannelCount = 0;
  int32_t StationSerial = 0;
  std::string FileStem;
  int16_t StartSecond = 0;
  int16_t StartMillisecond = 0;
  std::string OriginalFileName;
  int32_t SampleRate = 0;
  int32_t DurationMinutes = 0;
  int32_t SamplesPerChannel = 0;
  int32_t Gain = 0;
  double DynamicRange = 5.0;
  double ClippedSamples = 0;
  int32_t FullScale = 0;
  int32_t MaxAmplitude = 0;
  // Format 2 only; after a format-1 header they keep the values of the last format-2 header.
  int32_t Latitude = 0;
  char LatitudeHemisphere = ' ';
  int32_t Longitude = 0;
  char LongitudeHemisphere = ' ';
  double LatitudeMinutes = 0;
  double LongitudeMinutes = 0;
  int32_t SatelliteCount = 0;
  int32_t Altitude = 0;
  int32_t DurationMs = 0;      // version >= 410
  std::string EndStamp;        // version < 410
  int16_t EndSecond = 0;       // version < 410
  int16_t EndMillisecond = 0;  // version < 410
  // The raw header: fields 1-12 in bytes 0-107, fields 13-18 in 108-161 (format 2 only; kept
  // from the last format-2 header otherwise), HeaderEnd in 162-170.
  std::array<uint8_t, 171> HeaderImage{};
};

// One event of the card as the scan found it.
struct TEventEntry {
  int32_t Line = 0;          // 1-based, in card order
  int64_t HeaderOffset = 0;  // byte offset of its header in the data file
  int64_t DataOffset = 0;    // byte offset of its first frame
  TEventHeader Header;       // every value of its header, the raw image included
  // A frame holds one 3-byte sample of each channel.
  int64_t FrameBytes() const { return int64_t{3} * Header.ChannelCount; }
};

struct TProbeDate {
  uint16_t Year = 0;
  uint16_t Month = 0;
  uint16_t Day = 0;
};

enum class TStatusColour { WindowText, Green, Red };

struct TCardStatus {
  std::string Text;  // mixed case; the window shows it in capitals
  TStatusColour Colour = TStatusColour::WindowText;
};

// What the main window's "Flash card infos" and the command-line tool's status show: read by
// one probe, one scan and one look at the sizes.
struct TCardSummary {
  bool Scanned = false;  // the probe found a valid card: the counts, sizes and version are read
  bool Valid = false;    // the card is still valid after the scan
  TCardStatus Status;
  int32_t EventCount = 0;
  int64_t UsedBytes = 0;
  int64_t TotalBytes = 0;
  int32_t EpromVersion = -1;
  // "Number of files:": empty when no event was listed.
  std::string CountText() const;
};

// Where ScanDirectory writes: the running event count and one line per event. The main window
// hands its count box and event list; the command-line tool prints.
class TDirectoryView {
 public:
  virtual ~TDirectoryView() = default;
  virtual void BeginUpdate() {}  // the list is cleared and not redrawn line by line
  virtual void SetCount(const std::string& text) = 0;  // shown and repainted at once
  virtual void AddLine(const std::string& line) = 0;
  virtual void EndUpdate() {}  // the list is redrawn once
};

class TTarqCard {
 public:
  // Messages of the maintenance operations go to `messages`; the size and free space of the
  // card's drive come from `drives`.
  TTarqCard(TMessages& messages, platform::TDriveTable& drives);

  // The card's root directory, which holds its files; empty when there is no card (a drive
  // that is not present).
  std::string Root;
  TMessages& Boxes;
  platform::TDriveTable& Drives;

  // The data file: opened and closed by each operation; the download run uses it too.
  platform::TRecordFile DataFile;

  int32_t EpromVersion = -1;
  TEventHeader Event;  // the current event

  bool CardValid = false;
  bool SectorFilePresent = false;
  bool BlankDrive = false;
  bool NewCard = false;
  bool NoEvents = false;
  bool CardFull = false;
  bool RestoreMode = false;
  // The data file could be opened for reading only (a locked card, a read-only mount): it is
  // read as any other, and nothing on the card is changed.
  bool WriteProtected = false;
  int32_t EventCount = 0;
  int32_t UsedRecords = 0;
  TProbeDate ProbeDate;

  // Today's local date; tests replace it.
  std::function<TProbeDate()> Today;

  // The card files in Root (found whatever the case of their names).
  std::string DataFilePath() const;
  std::string SectorFilePath() const;

  // Opens the data file with record size 3 for reading and writing or, when writing is
  // refused, for reading (WriteProtected tells which). Returns whether it opened.
  bool OpenDataFile();
  // Closes the data file if it is open; a failing close raises EInOutError.
  void CloseDataFile();

  // The events of the last scan.
  std::vector<TEventEntry> Entries;

  // The directory and the status.
  void ProbeCard();
  // Walks the card's events into Entries, calling onEvent as each is found.
  const std::vector<TEventEntry>& ScanEvents(
      const std::function<void(const TEventEntry&)>& onEvent = nullptr);
  // ScanEvents writing the running count and the event lines into a view.
  void ScanDirectory(TDirectoryView& view);
  std::string EventLine() const;  // of Event
  // Probe, scan (into the view, when given) unless the card is invalid or new, sizes, status.
  TCardSummary ReadSummary(TDirectoryView* view = nullptr);
  // The summary of the card as the last probe and scan found it: only the sizes are read again.
  TCardSummary Summary();
  // Reads up to `count` frames of an event from frame `firstFrame` (0-based) into `buffer`
  // (count x FrameBytes() bytes), as stored. Returns the frames read: fewer at the end of the
  // event or of the data file. Input/output errors raise EInOutError.
  int64_t ReadEventFrames(const TEventEntry& entry, int64_t firstFrame, int64_t count,
                          uint8_t* buffer);
  // A download reads the data file it keeps open (OpenDataFile) through these, so that a card
  // changed since it was listed is read as it is now, and a bad frame only shortens a read.
  // The events of the data file walked from the first as ScanEvents walks them, up to line
  // `lastLine` (1-based) or until `goOn` says no before a header; Entries and the counts of the
  // last scan stay as they are.
  std::vector<TEventEntry> WalkEvents(int32_t lastLine, const std::function<bool()>& goOn);
  // Puts the data file at the entry's first frame; a failing seek raises EInOutError.
  void PositionAtFrames(const TEventEntry& entry);
  // ReadEventFrames on the open data file, in whole 3-byte records: a read error or the file's
  // end shortens the result (Error gives the code of an error), nothing is raised.
  platform::TReadResult ReadOpenEventFrames(const TEventEntry& entry, int64_t firstFrame,
                                            int64_t count, uint8_t* buffer);
  // The entry's trailer (9 bytes, after its last frame) from the open data file; false when it
  // could not be read whole.
  bool ReadEventTrailer(const TEventEntry& entry, uint8_t* trailer);
  std::pair<int64_t, int64_t> CardSizes();  // used, total bytes
  TCardStatus CardStatus() const;

  // Maintenance. Messages go to Boxes; input/output errors raise EInOutError. Erase
  // and initialize return false when they stopped after a message.
  bool EraseCard();
  bool MarkEventErased();
  bool InitializeCard();

 private:
  // Their tests step through the walk.
  friend struct TCardWalkAccess;

  // The walk, through the data file's position: ReadSignature, then ReadEventHeader (into
  // Event) and SkipEventData until a header is refused.
  void ReadSignature();
  bool ReadEventHeader(bool restore);
  bool SkipEventData();
  // From the data file's position, one entry per header read, each handed to onEntry until it
  // returns false; the data file is left after the last event walked.
  void WalkFromHere(const std::function<bool(TEventEntry&)>& onEntry,
                    const std::function<bool()>& goOn = nullptr);
  // scanned: the probe found a valid card, so counts, sizes and version are filled in.
  TCardSummary SummaryOf(bool scanned);
};

// Why a write-protected card is neither erased nor initialized.
inline constexpr const char* WriteProtectedText = "The card is write-protected";

// The line of an event in the main window's list and the command-line tool's listing.
std::string EventLine(const TEventHeader& event);
std::string EventLine(const TEventEntry& entry);

// The texts of the main window's fields, shared with the command-line tool.
// "Number of files:": the count cut to its first 4 characters (10000 shows as 1000).
std::string EventCountText(int32_t count);
// "Used size:": " " + grouped bytes + " (" + percentage + "%)", e.g. " 1 250 000 (12.5%)".
std::string UsedSizeText(int64_t used, int64_t total);
// "Total size:": " " + grouped bytes.
std::string TotalSizeText(int64_t total);
// "Eprom version:": four digits with leading zeros (0410), empty unless the version is > 0.
std::string EpromVersionText(int32_t version);
