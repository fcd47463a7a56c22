#include <functional>
#include <random>

#include "card/CardFixture.h"

using testing_support::TBuiltEvent;
using testing_support::TCardBuilder;
using testing_support::WriteWholeFile;

namespace {

class CardWalkTest : public TCardFixture {
 protected:
  // Opens the card and reads its signature.
  void Open() {
    ASSERT_TRUE(Card.OpenDataFile());
    TCardWalkAccess::ReadSignature(Card);
  }
  // The walk of the card in the given mode: the original names of the events it accepts.
  std::vector<std::string> Walk(bool restore = false) {
    std::vector<std::string> names;
    EXPECT_TRUE(Card.OpenDataFile());
    TCardWalkAccess::ReadSignature(Card);
    while (TCardWalkAccess::ReadEventHeader(Card, restore)) {
      names.push_back(Card.Event.OriginalFileName);
      TCardWalkAccess::SkipEventData(Card);
    }
    Card.CloseDataFile();
    return names;
  }
};

TEST_F(CardWalkTest, SignatureGivesTheVersion) {
  const struct {
    std::string Stored;
    int32_t Version;
  } cases[] = {
      {"TARQPROBE", 0},   {"TARQPR410", 410},  {"TARQP 508", 508}, {"TARQ 1024", 1024},
      {"TARQX0410", 410}, {"TARQ12345", 2345}, {"TARQPRXYZ", -1},  {"ABCDEFGHI", -1},
      {"tarqprobe", -1},  {"TARQPROB ", -1},   {"TARQP    ", -1},  {"TARQPR-12", -1},
      {"TARQPR 41", 41},  {"TARQ", -1},        {"TARQPR41x", -1},  {"TARQP1410", 410},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Stored);
    TCardBuilder card;
    card.Signature = c.Stored;
    Write(card);
    Open();
    EXPECT_EQ(Card.EpromVersion, c.Version);
    EXPECT_EQ(Card.DataFile.Position(), 3);
    Card.CloseDataFile();
  }
}

TEST_F(CardWalkTest, DataFileShorterThanASignatureIsNotValid) {
  for (size_t length = 0; length < 9; ++length) {
    WriteWholeFile(DataPath(), std::string("TARQPROBE").substr(0, length));
    Open();
    EXPECT_EQ(Card.EpromVersion, -1) << length;
    EXPECT_FALSE(TCardWalkAccess::ReadEventHeader(Card, false));
    Card.CloseDataFile();
  }
}

TEST_F(CardWalkTest, FieldsAreParsedByTheirRules) {
  struct TCase {
    const char* Name;
    std::string Signature;
    std::function<void(TBuiltEvent&)> Shape;
    std::function<void(const TEventHeader&)> Check;
  };
  const TCase cases[] = {
      {"defaults of a format-1 event", "TARQPROBE", [](TBuiltEvent&) {},
       [](const TEventHeader& e) {
         EXPECT_EQ(e.Marker, "DEB");
         EXPECT_EQ(e.EventFormat, 1);
         EXPECT_EQ(e.ChannelCount, 3);
         EXPECT_EQ(e.StationSerial, 12);
         EXPECT_EQ(e.FileStem, "05121030");
         EXPECT_EQ(e.StartSecond, 7);
         EXPECT_EQ(e.StartMillisecond, 250);
         EXPECT_EQ(e.OriginalFileName, "05121030.001");
         EXPECT_EQ(e.SampleRate, 125);
         EXPECT_EQ(e.DurationMinutes, 1);
         EXPECT_EQ(e.SamplesPerChannel, 7500);
         EXPECT_EQ(e.Gain, 1);
         EXPECT_EQ(e.DynamicRange, 5.0);
         EXPECT_EQ(e.ClippedSamples, 0.0);
         EXPECT_EQ(e.FullScale, 8388607);
         EXPECT_EQ(e.MaxAmplitude, 5120);
       }},
      {"an hour at 125 Hz", "TARQPROBE",
       [](TBuiltEvent& e) {
         e.RateDuration = "125,60";
         e.SparseSamples = true;
       },
       [](const TEventHeader& e) { EXPECT_EQ(e.SamplesPerChannel, 450000); }},
      {"field 8 without a comma", "TARQPROBE", [](TBuiltEvent& e) { e.RateDuration = "60"; },
       [](const TEventHeader& e) {
         EXPECT_EQ(e.SampleRate, 0);
         EXPECT_EQ(e.DurationMinutes, 60);
         EXPECT_EQ(e.SamplesPerChannel, 0);
       }},
      {"field 2 without a comma", "TARQPROBE",
       [](TBuiltEvent& e) {
         e.Channels = "3";
         e.ChannelCount = 0;
       },
       [](const TEventHeader& e) {
         EXPECT_EQ(e.ChannelCount, 0);
         EXPECT_EQ(e.StationSerial, 3);
       }},
      {"bad characters keep the digits before them, unsigned", "TARQPROBE",
       [](TBuiltEvent& e) {
         e.Channels = "-6x,1y2";
         e.ChannelCount = 6;
         e.FullScale = "-123z";
         e.MaxAmplitude = "abc";
       },
       [](const TEventHeader& e) {
         EXPECT_EQ(e.ChannelCount, 6);
         EXPECT_EQ(e.StationSerial, 1);
         EXPECT_EQ(e.FullScale, 123);
         EXPECT_EQ(e.MaxAmplitude, 0);
       }},
      {"signs and leading blanks", "TARQPROBE",
       [](TBuiltEvent& e) {
         e.FullScale = " -42";
         e.MaxAmplitude = "+17";
       },
       [](const TEventHeader& e) {
         EXPECT_EQ(e.FullScale, -42);
         EXPECT_EQ(e.MaxAmplitude, 17);
       }},
      {"short start second and long file name", "TARQPROBE",
       [](TBuiltEvent& e) {
         e.StartSecond = "5";
         e.FileStem = "ABCDEFGHI";
         e.FileNumber = "123";
       },
       [](const TEventHeader& e) {
         EXPECT_EQ(e.StartSecond, 5);
         EXPECT_EQ(e.StartMillisecond, 0);
         EXPECT_EQ(e.OriginalFileName, "ABCDEFGHI.12");
       }},
      {"file number used unchanged", "TARQPROBE", [](TBuiltEvent& e) { e.FileNumber = "7"; },
       [](const TEventHeader& e) { EXPECT_EQ(e.OriginalFileName, "05121030.7"); }},
      {"real fields", "TARQPROBE", [](TBuiltEvent& e) { e.Clipped = "1.5e1"; },
       [](const TEventHeader& e) { EXPECT_EQ(e.ClippedSamples, 15.0); }},
      {"a real that does not parse", "TARQPROBE", [](TBuiltEvent& e) { e.Clipped = "1,5"; },
       [](const TEventHeader& e) { EXPECT_EQ(e.ClippedSamples, 0.0); }},
      {"gain and range from version 508", "TARQPR508",
       [](TBuiltEvent& e) {
         e.Marker = "DEB2";
         e.Gain = "2,2.5";
       },
       [](const TEventHeader& e) {
         EXPECT_EQ(e.Gain, 2);
         EXPECT_EQ(e.DynamicRange, 2.5);
       }},
      {"gain and range before version 508", "TARQPR507",
       [](TBuiltEvent& e) {
         e.Marker = "DEB2";
         e.Gain = "2,2.5";
       },
       [](const TEventHeader& e) {
         EXPECT_EQ(e.Gain, 2);
         EXPECT_EQ(e.DynamicRange, 5.0);
       }},
      {"gain and range in a format-1 event", "TARQPR508", [](TBuiltEvent& e) { e.Gain = "2,2.5"; },
       [](const TEventHeader& e) {
         EXPECT_EQ(e.Gain, 2);
         EXPECT_EQ(e.DynamicRange, 5.0);
       }},
      {"a range that does not parse keeps 5 volts", "TARQPR508",
       [](TBuiltEvent& e) {
         e.Marker = "DEB2";
         e.Gain = "4,x";
       },
       [](const TEventHeader& e) {
         EXPECT_EQ(e.Gain, 4);
         EXPECT_EQ(e.DynamicRange, 5.0);
       }},
      {"format-2 fields from version 410", "TARQPR410", [](TBuiltEvent& e) { e.Marker = "DEB2"; },
       [](const TEventHeader& e) {
         EXPECT_EQ(e.EventFormat, 2);
         EXPECT_EQ(e.Latitude, 45);
         EXPECT_EQ(e.LatitudeHemisphere, 'N');
         EXPECT_EQ(e.Longitude, 6);
         EXPECT_EQ(e.LongitudeHemisphere, 'E');
         EXPECT_EQ(e.LatitudeMinutes, 30.0);
         EXPECT_EQ(e.LongitudeMinutes, 15.0);
         EXPECT_EQ(e.SatelliteCount, 7);
         EXPECT_EQ(e.Altitude, 250);
         EXPECT_EQ(e.DurationMs, 60000);
       }},
      {"end stamp before version 410", "TARQPR409",
       [](TBuiltEvent& e) {
         e.Marker = "DEB2";
         e.Field17 = "05121031";
         e.Field18 = "07500";
       },
       [](const TEventHeader& e) {
         EXPECT_EQ(e.EndStamp, "05121031");
         EXPECT_EQ(e.EndSecond, 7);
         EXPECT_EQ(e.EndMillisecond, 500);
       }},
      {"position with only a comma", "TARQPR410",
       [](TBuiltEvent& e) {
         e.Marker = "DEB2";
         e.Position = ",";
         e.SatAltitude = ",250";
       },
       [](const TEventHeader& e) {
         EXPECT_EQ(e.Latitude, 0);
         EXPECT_EQ(e.LatitudeHemisphere, ' ');
         EXPECT_EQ(e.Longitude, 0);
         EXPECT_EQ(e.LongitudeHemisphere, ' ');
         EXPECT_EQ(e.SatelliteCount, 0);
         EXPECT_EQ(e.Altitude, 0);
       }},
      {"position and minutes that do not parse", "TARQPR410",
       [](TBuiltEvent& e) {
         e.Marker = "DEB2";
         e.Position = "4xS,01yW";
         e.LatMinutes = "abc";
         e.SatAltitude = "7";
       },
       [](const TEventHeader& e) {
         EXPECT_EQ(e.Latitude, 0);
         EXPECT_EQ(e.LatitudeHemisphere, 'S');
         EXPECT_EQ(e.Longitude, 0);
         EXPECT_EQ(e.LongitudeHemisphere, 'W');
         EXPECT_EQ(e.LatitudeMinutes, 0.0);
         EXPECT_EQ(e.SatelliteCount, 0);
       }},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Name);
    TCardBuilder card;
    card.Signature = c.Signature;
    TBuiltEvent event;
    c.Shape(event);
    card.Events = {event};
    Write(card);
    Open();
    ASSERT_TRUE(TCardWalkAccess::ReadEventHeader(Card, false));
    c.Check(Card.Event);
    EXPECT_EQ(Card.DataFile.Position() * 3, 9 + (event.IsFormat2() ? 171 : 117));
    Card.CloseDataFile();
  }
}

TEST_F(CardWalkTest, DynamicRangeIsResetForEveryHeader) {
  TCardBuilder card;
  card.Signature = "TARQPR508";
  TBuiltEvent first = SmallEvent("DEB2");
  first.Gain = "2,2.5";
  card.Events = {first, SmallEvent("DEB2")};
  Write(card);
  Open();
  ASSERT_TRUE(TCardWalkAccess::ReadEventHeader(Card, false));
  EXPECT_EQ(Card.Event.DynamicRange, 2.5);
  TCardWalkAccess::SkipEventData(Card);
  ASSERT_TRUE(TCardWalkAccess::ReadEventHeader(Card, false));
  EXPECT_EQ(Card.Event.DynamicRange, 5.0);
}

TEST_F(CardWalkTest, HeaderImageKeepsTheLastFormat2Fields) {
  TCardBuilder card;
  card.Signature = "TARQPR410";
  TBuiltEvent second = SmallEvent("DEB2");
  second.Position = "12S,123W";
  second.HeaderEnd = "END-TWO";
  TBuiltEvent third = SmallEvent("DEB");
  third.HeaderEnd = "END-ONE";
  third.FileNumber = "003";
  card.Events = {SmallEvent("DEB"), second, third};
  Write(card);
  Open();
  ASSERT_TRUE(TCardWalkAccess::ReadEventHeader(Card, false));
  TCardWalkAccess::SkipEventData(Card);
  ASSERT_TRUE(TCardWalkAccess::ReadEventHeader(Card, false));
  const auto format2Image = Card.Event.HeaderImage;
  const std::string header2 = second.HeaderBytes();
  EXPECT_EQ(std::string(format2Image.begin(), format2Image.end()), header2);
  TCardWalkAccess::SkipEventData(Card);
  ASSERT_TRUE(TCardWalkAccess::ReadEventHeader(Card, false));
  const auto& image = Card.Event.HeaderImage;
  const std::string header3 = third.HeaderBytes();
  EXPECT_EQ(std::string(image.begin(), image.begin() + 108), header3.substr(0, 108));
  EXPECT_EQ(std::string(image.begin() + 108, image.begin() + 162), header2.substr(108, 54));
  EXPECT_EQ(std::string(image.begin() + 162, image.end()), header3.substr(108, 9));
  EXPECT_EQ(Card.Event.Latitude, 12);
  EXPECT_EQ(Card.Event.LongitudeHemisphere, 'W');
  EXPECT_EQ(Card.Event.EventFormat, 1);
}

TEST_F(CardWalkTest, MarkersAcceptedByMode) {
  const struct {
    std::string Marker;
    bool Normal;
    bool Restore;
  } cases[] = {
      {"DEB", true, false},
      {"DEB2", true, false},
      {"ERASED", false, true},
      {"ERASED2", false, true},
      {"deb", false, false},
      {"DEB3", false, false},
      {std::string("DEB\0\0\0\0\0\0", 9), false, false},
      {" DEB", false, false},
      {"ERASED   ", false, true},
      {"", false, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Marker);
    TCardBuilder card;
    TBuiltEvent event = SmallEvent();
    event.Marker = c.Marker;
    card.Events = {event};
    Write(card);
    for (bool restore : {false, true}) {
      Open();
      Card.NoEvents = true;
      const bool expected = restore ? c.Restore : c.Normal;
      EXPECT_EQ(TCardWalkAccess::ReadEventHeader(Card, restore), expected) << restore;
      EXPECT_EQ(Card.NoEvents, !expected);
      Card.CloseDataFile();
    }
  }
}

TEST_F(CardWalkTest, SkipLandsOnTheNextHeaderWhateverTheChannels) {
  TCardBuilder card;
  card.Signature = "TARQPR410";
  TBuiltEvent big;
  big.RateDuration = "125,60";
  big.SparseSamples = true;
  card.Events = {big, SmallEvent("DEB2", "6,13"), SmallEvent("DEB", "3,14"),
                 SmallEvent("DEB2", "1,15")};
  Write(card);
  Open();
  for (size_t i = 0; i < card.Events.size(); ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(Card.DataFile.Position() * 3, card.EventOffset(i));
    ASSERT_TRUE(TCardWalkAccess::ReadEventHeader(Card, false));
    EXPECT_TRUE(TCardWalkAccess::SkipEventData(Card));
  }
  EXPECT_EQ(card.EventOffset(1) - card.EventOffset(0), 117 + 4050000 + 9);
  EXPECT_FALSE(TCardWalkAccess::ReadEventHeader(Card, false));
}

TEST_F(CardWalkTest, RestoreReadingWalksTheErasedEvents) {
  TCardBuilder card;
  card.Events = {SmallEvent("ERASED"), SmallEvent("ERASED2", "6,1"), SmallEvent("DEB")};
  card.Events[1].FileNumber = "002";
  Write(card);
  EXPECT_TRUE(Walk(false).empty());
  EXPECT_EQ(Walk(true), (std::vector<std::string>{"05121030.001", "05121030.002"}));
}

TEST_F(CardWalkTest, HeadersWhoseSamplesCannotBeSkippedEndTheList) {
  const struct {
    std::string Channels;
    std::string RateDuration;
  } cases[] = {
      {"-3,12", "1,1"},        // negative records
      {"3,12", "-1,1"},        // negative samples per channel
      {"3,12", "2147483,60"},  // rate x minutes x 60 beyond 32 bits
      {"3,12", "99999,999"},   // the same, far beyond
      {"3,12", "500000,30"},   // samples fit, samples x channels do not
      {"99999,1", "999,1"},    // channels x samples beyond 32 bits
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Channels + " " + c.RateDuration);
    TCardBuilder card;
    TBuiltEvent bad = SmallEvent();
    bad.Channels = c.Channels;
    bad.ChannelCount = 1;
    bad.RateDuration = c.RateDuration;
    bad.Frames = 1;
    card.Events = {SmallEvent(), bad, SmallEvent()};
    Write(card);
    EXPECT_EQ(Walk().size(), 1u);
  }
}

TEST_F(CardWalkTest, SamplesCutShortEndTheListAtTheNextHeader) {
  TCardBuilder card;
  TBuiltEvent cut = SmallEvent();
  cut.UseRawSamples = true;
  cut.RawSamples = std::string(100, '\1');
  cut.OmitTrailer = true;
  card.Events = {SmallEvent(), cut};
  Write(card);
  Open();
  ASSERT_TRUE(TCardWalkAccess::ReadEventHeader(Card, false));
  EXPECT_TRUE(TCardWalkAccess::SkipEventData(Card));
  ASSERT_TRUE(TCardWalkAccess::ReadEventHeader(Card, false));
  EXPECT_FALSE(TCardWalkAccess::SkipEventData(Card));
  EXPECT_FALSE(TCardWalkAccess::ReadEventHeader(Card, false));
}

TEST_F(CardWalkTest, ACardCutAnywhereNeverListsMoreThanItHolds) {
  TCardBuilder card;
  card.Signature = "TARQPR410";
  card.Events = {SmallEvent("DEB2"), SmallEvent("DEB", "1,12")};
  const std::string bytes = card.DataFileBytes();
  const int64_t secondStart = card.EventOffset(1);
  for (size_t length = 0; length <= bytes.size(); ++length) {
    WriteWholeFile(DataPath(), bytes.substr(0, length));
    const size_t listed = Walk().size();
    const int64_t cut = static_cast<int64_t>(length);
    const size_t expected = cut >= secondStart + 117 ? 2 : cut >= 9 + 171 ? 1 : 0;
    EXPECT_EQ(listed, expected) << length;
  }
}

TEST_F(CardWalkTest, GarbageNeverStopsTheWalkFromEnding) {
  std::mt19937 random(20050612);
  for (int round = 0; round < 300; ++round) {
    TCardBuilder card;
    card.Events = {SmallEvent()};
    std::string tail;
    const int pieces = static_cast<int>(random() % 6);
    for (int piece = 0; piece < pieces; ++piece) {
      // Live markers followed by random fields, so the walk goes on into the garbage.
      tail += testing_support::Field(random() % 2 ? "DEB" : "DEB2");
      const size_t length = random() % 300;
      for (size_t i = 0; i < length; ++i) {
        const char alphabet[] = "0123456789,-+ .ABCDEF\0\xff";
        tail += alphabet[random() % (sizeof alphabet - 1)];
      }
    }
    card.Tail = tail;
    Write(card);
    EXPECT_GE(Walk().size(), 1u);
  }
}

TEST_F(CardWalkTest, CardFilesAreFoundWhateverTheirCase) {
  TCardBuilder card;
  card.DataFileName = "FICHBASE.DAT";
  card.SectorFileName = "SectTarq.Hex";
  card.Events = {SmallEvent()};
  Write(card);
  EXPECT_EQ(Card.DataFilePath(), Dir / "FICHBASE.DAT");
  EXPECT_EQ(Card.SectorFilePath(), Dir / "SectTarq.Hex");
  EXPECT_EQ(Walk().size(), 1u);
}

TEST_F(CardWalkTest, ALetterWithoutDriveGivesPathsThatCannotBeOpened) {
  Write(TCardBuilder{});
  Card.Root = Drives->RootOf('q');
  EXPECT_TRUE(Card.DataFilePath().empty());
  EXPECT_TRUE(Card.SectorFilePath().empty());
  EXPECT_FALSE(Card.OpenDataFile());
  Card.Root = Drives->RootOf('F');
  EXPECT_TRUE(Card.OpenDataFile());
}

}  // namespace
