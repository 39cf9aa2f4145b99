// Real MP3 data: files made by an encoder and tagged by real taggers, the
// shared conformance bitstreams and tagged files, and files that are not MP3
// at all. Audio is checked by decoding it.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <iterator>
#include <map>
#include <random>
#include <set>
#include <tuple>
#include <utility>

#include "mpeg/frame_header.h"
#include "platform/crc16.h"
#include "support/mp3_fixtures.h"
#include "support/test_support.h"

namespace scourby::testing {
namespace {

namespace fs = std::filesystem;

bool Have(const std::string& tool) { return std::system(("command -v " + tool + " >/dev/null 2>&1").c_str()) == 0; }

bool Sh(const std::string& command) { return std::system(command.c_str()) == 0; }

std::string Quote(const std::string& path) { return "'" + path + "'"; }

// The PCM that mpg123 decodes from a file.
Bytes Decode(const std::string& path, const TempDir& scratch) {
  const std::string pcm = scratch / "decoded.raw";
  // Without gapless trimming, which depends on the encoder's Info frame.
  // Appended, as mpg123 seeks its output back to the start when the format
  // changes (joined parts of other sample rates or channels).
  fs::remove(pcm);
  if (!Sh("mpg123 -q --no-gapless -s " + Quote(path) + " >> " + Quote(pcm) + " 2>/dev/null")) return "<decode failed>";
  return ReadFile(pcm);
}

// The length of a stream's first frame when it is a VBR header frame
// ("Xing" or "Info" among its first bytes), else 0.
std::size_t HeaderFrameLength(const Bytes& frames) {
  FrameHeader header;
  if (frames.size() < 4 || !IsFrameHeader(reinterpret_cast<const std::uint8_t*>(frames.data()), header)) return 0;
  const Bytes head = frames.substr(0, 64);
  return head.find("Xing") != Bytes::npos || head.find("Info") != Bytes::npos ? header.frameLength : 0;
}

// Checks a stream's VBR header against the stream, as players read it:
// the frame count (frames after the header frame) and byte count (all
// frames), and where it was rewritten the table of contents (entry i: 256 *
// the offset of frame floor(i * (frames + 1) / 100) / bytes, at most 255)
// and the LAME tag's music length, music CRC (of the frames after the header
// frame) and tag CRC (of the frame's bytes before it).
void ExpectTrueHeader(const Bytes& stream, bool rewritten, bool lameTag = true) {
  const auto* bytes = reinterpret_cast<const std::uint8_t*>(stream.data());
  std::vector<std::size_t> offsets;
  FrameHeader header;
  for (std::size_t at = 0; at + 4 <= stream.size() && IsFrameHeader(bytes + at, header);
       at += static_cast<std::size_t>(header.frameLength)) {
    offsets.push_back(at);
  }
  ASSERT_FALSE(offsets.empty());
  std::size_t at = stream.substr(0, 64).find("Xing");
  if (at == Bytes::npos) at = stream.substr(0, 64).find("Info");
  ASSERT_NE(at, Bytes::npos);
  const std::uint32_t flags = BigEndian32(bytes + at + 4);
  ASSERT_EQ(flags & 7u, 7u) << "frame count, byte count and table of contents";
  const auto frames = static_cast<std::uint32_t>(offsets.size() - 1);
  EXPECT_EQ(BigEndian32(bytes + at + 8), frames);
  EXPECT_EQ(BigEndian32(bytes + at + 12), stream.size());
  if (!rewritten) return;
  for (std::size_t i = 0; i < 100; ++i) {
    const std::uint64_t offset = offsets[i * (frames + std::size_t{1}) / 100];
    ASSERT_EQ(bytes[at + 16 + i], std::min<std::uint64_t>(255, 256 * offset / stream.size())) << "entry " << i;
  }
  if (!lameTag) return;
  const std::size_t lame = at + 16 + 100 + ((flags & 8u) != 0 ? 4 : 0);
  const auto be16 = [&](std::size_t i) { return static_cast<std::uint16_t>(bytes[i] << 8 | bytes[i + 1]); };
  const std::size_t length = offsets.size() > 1 ? offsets[1] : stream.size();
  EXPECT_EQ(BigEndian32(bytes + lame + 28), stream.size());
  EXPECT_EQ(be16(lame + 32), platform::Crc16ArcPlain({bytes + length, stream.size() - length}));
  EXPECT_EQ(be16(lame + 34), platform::Crc16ArcPlain({bytes, lame + 34}));
}

// The length that ffprobe shows (as players built on it do), in seconds.
double ShownLength(const std::string& path, const TempDir& scratch) {
  const std::string out = scratch / "ffprobe.txt";
  if (!Sh("ffprobe -v error -show_entries format=duration -of csv=p=0 " + Quote(path) + " > " + Quote(out))) return -1;
  return std::atof(ReadFile(out).c_str());
}

// The length of a stream's decoded PCM (mpg123 -s: 16-bit samples, the
// first frame's rate and channels), in seconds.
double PcmLength(std::size_t pcmBytes, const Bytes& frames) {
  FrameHeader header;
  if (frames.size() < 4 || !IsFrameHeader(reinterpret_cast<const std::uint8_t*>(frames.data()), header)) return -1;
  const int channels = ChannelMode(header) == 3 ? 1 : 2;
  return static_cast<double>(pcmBytes) / (header.sampleRate * channels * 2);
}

// What mp3val finds wrong with a VBR header, or nothing.
std::string WrongHeader(const std::string& path, const TempDir& scratch) {
  const std::string out = scratch / "mp3val.txt";
  Sh("mp3val " + Quote(path) + " > " + Quote(out) + " 2>&1");
  std::string wrong;
  const Bytes report = ReadFile(out);
  for (std::size_t at = 0, end; (end = report.find('\n', at)) != Bytes::npos; at = end + 1) {
    const std::string line = report.substr(at, end - at);
    if (line.find("Xing header") != std::string::npos && line.starts_with("WARNING")) wrong += line + "\n";
  }
  return wrong;
}

// Per-file line of the program's output: the text after the path.
std::map<std::string, std::string> Outcomes(const Bytes& out, const std::vector<std::string>& names) {
  std::map<std::string, std::string> outcomes;
  std::size_t at = 0;
  for (const std::string& name : names) {
    const std::size_t start = out.find(name, at);
    if (start == std::string::npos) continue;
    const std::size_t end = out.find("\r\n", start);
    outcomes[name] = out.substr(start + name.size(), end - start - name.size());
    at = end;
  }
  return outcomes;
}

class EncodedAudio : public ::testing::Test {
 protected:
  void SetUp() override {
    for (const char* tool : {"lame", "mpg123", "sox"}) {
      if (!Have(tool)) GTEST_SKIP() << tool << " is not installed";
    }
    ASSERT_TRUE(Sh("sox -n -r 44100 -c 2 -b 16 " + Quote(dir / "tone.wav") +
                   " synth 4 sine 300-900 sine 500 vol 0.4 2>/dev/null"));
  }
  // Encodes the tone with these encoder options into name (no tags).
  std::string Encode(const std::string& name, const std::string& options, const std::string& encoder = "lame") {
    const std::string path = dir / name;
    EXPECT_TRUE(Sh(encoder + " --quiet " + options + " " + Quote(dir / "tone.wav") + " " + Quote(path)));
    return path;
  }
  std::string EncodeWithFfmpeg(const std::string& name, const std::string& options) {
    const std::string path = dir / name;
    EXPECT_TRUE(Sh("ffmpeg -v error -y -i " + Quote(dir / "tone.wav") + " -c:a libmp3lame " + options +
                   " -id3v2_version 0 -map_metadata -1 " + Quote(path)));
    return path;
  }
  // The tone as frames of the encoder, and the same with an ID3v2 tag at the
  // front whose cover picture is bigger than a search's 64000-byte reach and
  // an ID3v1 tag at the end.
  struct Part {
    Bytes frames;
    Bytes tagged;
    std::size_t id3v2Length = 0;
  };
  // The tools that make and tag the parts, or the first one missing.
  static std::string MissingPartTool() {
    for (const char* tool : {"twolame", "eyeD3", "id3v2", "convert"}) {
      if (!Have(tool)) return tool;
    }
    return Sh("convert -version 2>/dev/null | grep -q ImageMagick") ? "" : "ImageMagick";
  }
  std::map<std::string, Part> Parts() {
    const std::string cover = dir / "cover.jpg";
    // Noise keeps the JPEG big: some 125 KB.
    EXPECT_TRUE(Sh("convert -seed 1 -size 320x240 plasma:fractal +noise Random -quality 90 " + Quote(cover)));
    EXPECT_GT(ReadFile(cover).size(), 100000u);
    struct Encoding {
      const char* name;
      const char* options;
      const char* encoder;
    };
    std::vector<Encoding> encodings = {
        {"vbr", "-V 2", "lame"},
        {"cbr", "-b 128", "lame"},
        {"layer2", "-b 192", "twolame"},
        {"mono48", "-m m --resample 48 -V 4", "lame"},
        // Two of these joined are longer than the read buffer.
        {"cbr320", "-b 320", "lame"},
    };
    // ffmpeg writes its own VBR header (a Xing header for VBR, an Info
    // header for CBR) and LAME tag.
    if (Have("ffmpeg")) {
      encodings.push_back({"ffvbr", "-q:a 2", "ffmpeg"});
      encodings.push_back({"ffcbr", "-b:a 128k", "ffmpeg"});
    }
    std::map<std::string, Part> parts;
    for (const auto& encoding : encodings) {
      const std::string name = std::string(encoding.name) + ".mp3";
      const std::string path = std::string(encoding.encoder) == "ffmpeg"
                                   ? EncodeWithFfmpeg(name, encoding.options)
                                   : Encode(name, encoding.options, encoding.encoder);
      Part& part = parts[encoding.name];
      part.frames = ReadFile(path);
      EXPECT_TRUE(Sh("eyeD3 -Q --v2 -a Artist -t Title --add-image=" + Quote(cover) + ":FRONT_COVER " + Quote(path) +
                     " >/dev/null 2>&1"));
      part.id3v2Length = ReadFile(path).size() - part.frames.size();
      EXPECT_TRUE(Sh("id3v2 -1 -a Artist -t Title " + Quote(path)));
      part.tagged = ReadFile(path);
      EXPECT_EQ(part.tagged.size(), part.id3v2Length + part.frames.size() + 128);
      EXPECT_GT(part.id3v2Length, 64000u);
    }
    return parts;
  }
  TempDir dir;
  TempDir scratch;
};

TEST_F(EncodedAudio, TaggedFilesComeBackAsTheEncodersFramesInBothModes) {
  const struct {
    const char* name;
    const char* lameOptions;
  } encodings[] = {
      {"cbr.mp3", "-b 128"},
      {"vbr.mp3", "-V 2"},
      {"mpeg2.mp3", "--resample 22.05 -b 64"},
      {"mpeg25.mp3", "--resample 8 -b 16"},
      {"mono.mp3", "-m m -V 5"},
  };
  const std::vector<std::string> taggers = {
      Have("id3v2") ? "id3v2 -a Artist -t Title -A Album -y 2020 -T 3 FILE" : "",
      Have("eyeD3") ? "eyeD3 -Q --v2 -a Artist -t Title --add-comment=Words FILE >/dev/null 2>&1" : "",
      Have("mid3v2") ? "mid3v2 -a Artist -t Title FILE" : "",
  };
  for (const auto& encoding : encodings) {
    const std::string original = Encode(encoding.name, encoding.lameOptions);
    const Bytes frames = ReadFile(original);
    const Bytes pcm = Decode(original, scratch);
    for (const std::string& tagger : taggers) {
      if (tagger.empty()) continue;
      for (const char* mode : {"/T", "/TC"}) {
        SCOPED_TRACE(std::string(encoding.name) + " " + tagger + " " + mode);
        const std::string tagged = dir / "tagged.mp3";
        WriteFile(tagged, frames);
        std::string command = tagger;
        command.replace(command.find("FILE"), 4, Quote(tagged));
        ASSERT_TRUE(Sh(command));
        const Bytes before = ReadFile(tagged);
        ASSERT_NE(before.size(), frames.size());
        const RunResult run = RunScourby({"tagged.mp3", mode}, dir.path().string());
        const long long removed = static_cast<long long>(before.size() - frames.size());
        EXPECT_NE(run.out.find("tagged.mp3 - Cleaned " + std::to_string(removed) + " bytes\r\n"), std::string::npos)
            << run.out;
        EXPECT_TRUE(ReadFile(tagged) == frames);
        EXPECT_EQ(ReadFile(tagged + ".trash").size(), static_cast<std::size_t>(removed));
        EXPECT_TRUE(Decode(tagged, scratch) == pcm);
        fs::remove(tagged + ".trash");
      }
    }
  }
}

// MP3 that ffmpeg wraps in WAVE and its 64-bit forms comes out as the bare
// stream that ffmpeg writes as an MP3 file.
TEST_F(EncodedAudio, Mp3InWaveAndItsSixtyFourBitFormsCleansToTheBareStream) {
  if (!Have("ffmpeg")) GTEST_SKIP() << "ffmpeg is not installed";
  const std::string encode = "ffmpeg -v error -y -i " + Quote(dir / "tone.wav") + " -c:a libmp3lame -b:a 128k ";
  ASSERT_TRUE(Sh(encode + "-write_xing 0 -id3v2_version 0 " + Quote(dir / "bare.mp3")));
  const Bytes bare = ReadFile(dir / "bare.mp3");
  for (const char* wrapper : {"-f wav", "-f wav -rf64 always", "-f w64"}) {
    for (const char* mode : {"/T", "/TC"}) {
      SCOPED_TRACE(std::string(wrapper) + " " + mode);
      ASSERT_TRUE(Sh(encode + wrapper + " " + Quote(dir / "wrapped.mp3")));
      const Bytes wrapped = ReadFile(dir / "wrapped.mp3");
      RunScourby({"wrapped.mp3", mode}, dir.path().string());
      EXPECT_TRUE(ReadFile(dir / "wrapped.mp3") == bare);
      EXPECT_EQ(ReadFile(dir / "wrapped.mp3.trash").size(), wrapped.size() - bare.size());
      fs::remove(dir / "wrapped.mp3.trash");
    }
  }
}

// The cleaned stream of parts joined one after another: the first part's
// frames, then every other part's frames without its VBR header frame.
Bytes JoinedStream(const std::vector<Bytes>& streams) {
  Bytes joined;
  for (const Bytes& stream : streams) joined += joined.empty() ? stream : stream.substr(HeaderFrameLength(stream));
  return joined;
}

// A cleaned stream is the expected one, its VBR header (where it has one)
// made true: the same bytes behind the header frame, and counts in the
// header that are the stream's own.
void ExpectStream(const Bytes& cleaned, const Bytes& expected) {
  ASSERT_EQ(cleaned.size(), expected.size());
  const std::size_t header = HeaderFrameLength(expected);
  EXPECT_TRUE(cleaned.compare(header, Bytes::npos, expected, header) == 0) << "the frames differ";
  if (header == 0) return;
  EXPECT_TRUE(cleaned.compare(0, 4, expected, 0, 4) == 0);
  ExpectTrueHeader(cleaned, cleaned.compare(0, header, expected, 0, header) != 0);
}

// Parts encoded on their own and joined as `cat` joins them, bare or tagged,
// also cut short as `head -c` cuts a download: the joined file cleaned is
// the parts cleaned one by one, joined, as one stream with one VBR header,
// the first part's, made true. Players show the length it decodes to, and a
// second run (with /D) changes nothing, not even the status-change time.
TEST_F(EncodedAudio, JoinedFilesCleanToOneStreamThatPlayersShowAtItsLength) {
  if (const std::string tool = MissingPartTool(); !tool.empty()) GTEST_SKIP() << tool << " is not installed";
  const bool ffprobe = Have("ffprobe"), mp3val = Have("mp3val");
  const std::map<std::string, Part> parts = Parts();
  // Each part cleaned alone, bare and tagged, with the PCM it decodes to.
  std::map<std::pair<std::string, bool>, Bytes> cleaned;
  std::map<std::string, std::size_t> pcmSize;
  for (const auto& [name, part] : parts) {
    for (const bool tagged : {false, true}) {
      const std::string path = dir / "part.mp3";
      WriteFile(path, tagged ? part.tagged : part.frames);
      RunScourby({"part.mp3"}, dir.path().string());
      const Bytes& alone = cleaned[{name, tagged}] = ReadFile(path);
      EXPECT_TRUE(alone == part.frames) << name << (tagged ? " tagged" : "");
    }
    pcmSize[name] = Decode(dir / "part.mp3", scratch).size();
  }
  std::vector<std::vector<std::string>> joins = {
      {"vbr", "vbr"},
      {"vbr", "cbr"},
      {"cbr", "vbr", "cbr"},
      {"layer2", "vbr"},
      {"mono48", "layer2"},
      {"cbr", "layer2", "mono48"},
      {"vbr", "mono48", "vbr"},
      {"vbr", "cbr", "layer2", "mono48"},
      {"mono48", "layer2", "cbr", "vbr"},
      {"cbr320", "cbr320"},
      {"vbr", "cbr320", "cbr320"},
  };
  if (parts.count("ffvbr")) joins.insert(joins.end(), {{"ffvbr", "ffvbr"}, {"ffcbr", "vbr", "ffvbr"}});
  for (const auto& join : joins) {
    for (const bool tagged : {false, true}) {
      for (const bool cut : {false, true}) {
        Bytes joined;
        std::vector<Bytes> streams;
        std::size_t expectedPcm = 0;
        // Only a stream of one sample rate and channel count has one length.
        bool oneFormat = true;
        for (const std::string& name : join) {
          joined += tagged ? parts.at(name).tagged : parts.at(name).frames;
          streams.push_back(cleaned.at({name, tagged}));
          expectedPcm += pcmSize.at(name);
          oneFormat = oneFormat && std::string(name) != "mono48" && std::string(join[0]) != "mono48";
        }
        const Bytes expected = JoinedStream(streams);
        std::string trace = std::string(tagged ? "tagged" : "bare") + (cut ? " cut short" : "");
        for (const std::string& name : join) trace += " " + name;
        std::string source = dir / "joined.src";
        WriteFile(source, joined);
        if (cut) {
          // A third of the last part's audio is missing, its last frame cut.
          const std::size_t keep = joined.size() - parts.at(join.back()).frames.size() / 3 - (tagged ? 128 : 0);
          ASSERT_TRUE(
              Sh("head -c " + std::to_string(keep) + " " + Quote(dir / "joined.src") + " > " + Quote(dir / "cut.src")));
          source = dir / "cut.src";
        }
        for (const char* mode : {"", "/C"}) {
          SCOPED_TRACE(trace + " " + mode);
          fs::copy_file(source, dir / "joined.mp3", fs::copy_options::overwrite_existing);
          const Bytes input = ReadFile(dir / "joined.mp3");
          std::vector<std::string> arguments = {"joined.mp3"};
          if (*mode != '\0') arguments.push_back(mode);
          const RunResult run = RunScourby(arguments, dir.path().string());
          const Bytes result = ReadFile(dir / "joined.mp3");
          EXPECT_NE(run.out.find("joined.mp3 - Cleaned " + std::to_string(input.size() - result.size()) + " bytes\r\n"),
                    std::string::npos)
              << run.out;
          if (cut) {
            // The whole frames before the cut.
            ASSERT_LT(result.size(), expected.size());
            ExpectStream(result, expected.substr(0, result.size()));
          } else {
            EXPECT_EQ(input.size() - result.size(), joined.size() - expected.size());
            ExpectStream(result, expected);
          }
          if (mp3val) {
            EXPECT_EQ(WrongHeader(dir / "joined.mp3", scratch), "");
          }
          const std::size_t decoded = Decode(dir / "joined.mp3", scratch).size();
          if (!cut) {
            EXPECT_EQ(decoded, expectedPcm);
          }
          // Without a VBR header (Layer II first) players guess the length
          // from the first frame's bitrate.
          if (ffprobe && oneFormat && HeaderFrameLength(result) > 0) {
            EXPECT_NEAR(ShownLength(dir / "joined.mp3", scratch), PcmLength(decoded, result), 0.5);
          }
          // Cleaned again: nothing to remove, and the file is left exactly
          // as it was, times and all.
          struct stat before, after;
          ASSERT_EQ(::stat((dir / "joined.mp3").c_str(), &before), 0);
          arguments.push_back("/D");
          const RunResult again = RunScourby(arguments, dir.path().string());
          EXPECT_NE(again.out.find("joined.mp3 - Cleaned 0 bytes\r\n"), std::string::npos) << again.out;
          ASSERT_EQ(::stat((dir / "joined.mp3").c_str(), &after), 0);
          EXPECT_TRUE(ReadFile(dir / "joined.mp3") == result);
          EXPECT_EQ(after.st_ino, before.st_ino);
          EXPECT_TRUE(after.st_ctim.tv_sec == before.st_ctim.tv_sec && after.st_ctim.tv_nsec == before.st_ctim.tv_nsec);
        }
      }
    }
  }
}

// Audio behind more junk than a search reaches: a tag whose declared size
// stops short of its cover picture (a known fault of some taggers), an APEv2
// tag with a large cover between two joined parts, a block of garbage
// between two parts. Every frame comes back in both modes, and the result
// decodes to the parts' length.
TEST_F(EncodedAudio, AudioBeyondTheSearchesReachIsFound) {
  if (const std::string tool = MissingPartTool(); !tool.empty()) GTEST_SKIP() << tool << " is not installed";
  // Debian's Python, where python3-mutagen installs, ahead of any other.
  const std::string python = Exists("/usr/bin/python3") ? "/usr/bin/python3" : "python3";
  if (!Sh(python + " -c 'import mutagen.apev2' 2>/dev/null")) GTEST_SKIP() << "python3-mutagen is not installed";
  const std::map<std::string, Part> parts = Parts();
  std::map<std::string, std::size_t> pcm;
  for (const auto& [name, part] : parts) {
    WriteFile(dir / "part.mp3", part.frames);
    pcm[name] = Decode(dir / "part.mp3", scratch).size();
  }
  const Part &vbr = parts.at("vbr"), &cbr = parts.at("cbr"), &layer2 = parts.at("layer2");

  // The ID3v2 tag's size field made 120,000 bytes too small.
  Bytes shortTag = cbr.tagged;
  const std::size_t declared = cbr.id3v2Length - 10 - 120000;
  ASSERT_GT(cbr.id3v2Length, 120000u + 10);
  for (int i = 0; i < 4; ++i)
    shortTag[6 + static_cast<std::size_t>(i)] = static_cast<char>((declared >> (21 - 7 * i)) & 0x7F);

  // An APEv2 tag with a 150 KB binary cover, as mutagen writes it.
  ASSERT_TRUE(Sh("convert -seed 2 -size 400x300 plasma:fractal +noise Random -quality 92 " + Quote(dir / "big.jpg")));
  EXPECT_GT(ReadFile(dir / "big.jpg").size(), 150000u);
  WriteFile(dir / "ape.mp3", vbr.frames);
  ASSERT_TRUE(Sh(python +
                 " -c 'import sys; from mutagen.apev2 import APEv2, APEValue, BINARY; t = APEv2(); "
                 "t[\"Title\"] = \"Part\"; t[\"Cover Art (Front)\"] = APEValue(b\"cover.jpg\\0\" + "
                 "open(sys.argv[2], \"rb\").read(), BINARY); t.save(sys.argv[1])' " +
                 Quote(dir / "ape.mp3") + " " + Quote(dir / "big.jpg")));
  const Bytes apeTagged = ReadFile(dir / "ape.mp3");
  ASSERT_GT(apeTagged.size(), vbr.frames.size() + 150000);

  std::mt19937 random(100);
  Bytes garbage(100000, '\0');
  for (char& c : garbage) c = static_cast<char>(random());

  const struct {
    const char* name;
    Bytes input;
    Bytes frames;
    std::size_t pcm;
  } cases[] = {
      {"a tag whose declared size stops short of its picture", shortTag, cbr.frames, pcm.at("cbr")},
      {"an APEv2 tag with a large cover between joined parts", apeTagged + layer2.frames,
       JoinedStream({vbr.frames, layer2.frames}), pcm.at("vbr") + pcm.at("layer2")},
      {"100 KB of garbage between joined parts", cbr.frames + garbage + vbr.frames,
       JoinedStream({cbr.frames, vbr.frames}), pcm.at("cbr") + pcm.at("vbr")},
  };
  for (const auto& c : cases) {
    for (const char* mode : {"/V", "/C"}) {
      SCOPED_TRACE(std::string(c.name) + " " + mode);
      WriteFile(dir / "song.mp3", c.input);
      const RunResult run = RunScourby({"song.mp3", mode}, dir.path().string());
      const std::string removed = std::to_string(c.input.size() - c.frames.size());
      EXPECT_NE(run.out.find(" - Cleaned " + removed + " bytes\r\n"), std::string::npos) << run.out;
      ExpectStream(ReadFile(dir / "song.mp3"), c.frames);
      EXPECT_EQ(Decode(dir / "song.mp3", scratch).size(), c.pcm);
    }
  }
}

// The pieces that /L lists, read from the file as it was at their offsets:
// (size, offset) per line, in order.
// The listed pieces of the trash, in file order: offset, size, and whether
// the reconstructor cleared them (removed pieces are listed before them).
std::vector<std::tuple<std::size_t, std::size_t, bool>> ListedPieces(const Bytes& out) {
  std::vector<std::tuple<std::size_t, std::size_t, bool>> pieces;
  for (const char* verb : {" - Removed ", " - Cleared "}) {
    for (std::size_t at = 0; (at = out.find(verb, at)) != Bytes::npos; ++at) {
      pieces.emplace_back(std::stoul(out.substr(out.find(" at ", at) + 4)), std::stoul(out.substr(at + 11)),
                          verb[3] == 'C');
    }
  }
  std::sort(pieces.begin(), pieces.end());
  return pieces;
}

// Files as taggers, joins and downloads leave them: with /L and /T the list
// is an index into the trash (every piece, removed or cleared, read from the
// original at its offset, in file order, is the trash), a dry run lists the
// same, and a second run lists nothing.
TEST_F(EncodedAudio, TheListIsAnIndexIntoTheTrash) {
  if (const std::string tool = MissingPartTool(); !tool.empty()) GTEST_SKIP() << tool << " is not installed";
  const std::string python = Exists("/usr/bin/python3") ? "/usr/bin/python3" : "python3";
  if (!Sh(python + " -c 'import mutagen.apev2' 2>/dev/null")) GTEST_SKIP() << "python3-mutagen is not installed";
  const std::map<std::string, Part> parts = Parts();
  const Part &vbr = parts.at("vbr"), &cbr = parts.at("cbr"), &layer2 = parts.at("layer2");
  WriteFile(dir / "ape.mp3", cbr.frames);
  ASSERT_TRUE(Sh(python +
                 " -c 'import sys; from mutagen.apev2 import APEv2; t = APEv2(); t[\"Title\"] = \"Part\"; "
                 "t.save(sys.argv[1])' " +
                 Quote(dir / "ape.mp3")));
  const Bytes id3v1 = vbr.tagged.substr(vbr.tagged.size() - 128);
  const struct {
    const char* name;
    Bytes input;
  } cases[] = {
      {"tagged by eyeD3 and id3v2", vbr.tagged},
      {"joined, tagged", vbr.tagged + cbr.tagged + layer2.tagged},
      {"an APEv2 tag by mutagen, then a tagged part", ReadFile(dir / "ape.mp3") + vbr.tagged},
      {"cut short", (vbr.tagged + cbr.tagged).substr(0, vbr.tagged.size() + cbr.tagged.size() / 2)},
      {"a frame cut into by its ID3v1 tag", cbr.frames.substr(0, cbr.frames.size() - 100) + id3v1},
  };
  for (const auto& c : cases) {
    for (const char* mode : {"/T", "/TC"}) {
      SCOPED_TRACE(std::string(c.name) + " " + mode);
      WriteFile(dir / "song.mp3", c.input);
      fs::remove(dir / "song.mp3.trash");
      const RunResult dry = RunScourby({"song.mp3", "/L", "/N", mode}, dir.path().string());
      const RunResult run = RunScourby({"song.mp3", "/L", mode}, dir.path().string());
      const auto pieces = ListedPieces(run.out);
      ASSERT_FALSE(pieces.empty()) << run.out;
      EXPECT_EQ(ListedPieces(dry.out), pieces);
      Bytes expected;
      std::size_t end = 0, removed = 0;
      for (const auto& [offset, size, cleared] : pieces) {
        EXPECT_GE(offset, end) << "pieces in file order, none overlapping";
        expected += c.input.substr(offset, size);
        end = offset + size;
        removed += cleared ? 0 : size;
      }
      EXPECT_TRUE(ReadFile(dir / "song.mp3.trash") == expected);
      EXPECT_EQ(removed, c.input.size() - ReadFile(dir / "song.mp3").size()) << "the cleaned count";
      const RunResult again = RunScourby({"song.mp3", "/L", mode}, dir.path().string());
      EXPECT_NE(again.out.find("song.mp3 - Cleaned 0 bytes\r\n"), Bytes::npos) << again.out;
    }
  }
}

// A second ID3v2 tag with a cover picture right behind the first, at the
// start of a real file: both go, whole.
TEST_F(EncodedAudio, StackedTagsWithCoverPicturesComeOffWhole) {
  if (const std::string tool = MissingPartTool(); !tool.empty()) GTEST_SKIP() << tool << " is not installed";
  const std::map<std::string, Part> parts = Parts();
  for (auto it = parts.begin(); it != parts.end(); ++it) {
    const Part& part = it->second;
    // The front tag of another tagged file.
    const Part& other = std::next(it) != parts.end() ? std::next(it)->second : parts.begin()->second;
    const Bytes stacked = other.tagged.substr(0, other.id3v2Length) + part.tagged;
    const Bytes id3v1 = part.tagged.substr(part.tagged.size() - 128);
    const Bytes trash = stacked.substr(0, other.id3v2Length + part.id3v2Length) + id3v1;
    WriteFile(dir / "frames.mp3", part.frames);
    const Bytes pcm = Decode(dir / "frames.mp3", scratch);
    for (const char* mode : {"/T", "/TC"}) {
      SCOPED_TRACE(it->first + " " + mode);
      WriteFile(dir / "stacked.mp3", stacked);
      const RunResult run = RunScourby({"stacked.mp3", mode}, dir.path().string());
      EXPECT_NE(run.out.find("stacked.mp3 - Cleaned " + std::to_string(trash.size()) + " bytes\r\n"), std::string::npos)
          << run.out;
      EXPECT_TRUE(ReadFile(dir / "stacked.mp3") == part.frames);
      EXPECT_TRUE(Exists(dir / "stacked.mp3.trash") && ReadFile(dir / "stacked.mp3.trash") == trash);
      EXPECT_TRUE(Decode(dir / "stacked.mp3", scratch) == pcm);
      fs::remove(dir / "stacked.mp3.trash");
    }
  }
}

// Variable-bitrate streams without a VBR header, as encoders and users make
// them (lame -t, ffmpeg writing to a pipe, constant-bitrate parts of two
// bitrates joined), tagged in front and at the end: cleaned, they begin
// with a Xing frame whose counts and table of contents are the stream's,
// players show the length they decode to, and decoders find no error.
// Joined parts with LAME tags end, gapless, as the last part does alone.
TEST_F(EncodedAudio, EveryVariableBitrateFileTellsItsTrueLength) {
  if (!Have("ffprobe") || !Have("id3v2")) GTEST_SKIP() << "ffmpeg or id3v2 is not installed";
  const auto tagged = [&](const std::string& path) {
    EXPECT_TRUE(Sh("id3v2 -a Artist -t Title " + Quote(path)));
    return ReadFile(path);
  };
  ASSERT_TRUE(Sh("ffmpeg -v error -i " + Quote(dir / "tone.wav") + " -c:a libmp3lame -q:a 2 -f mp3 - > " +
                 Quote(dir / "pipe.mp3")));
  const std::string cases[][2] = {
      {"lame -t -V 2", tagged(Encode("vbr.mp3", "-t -V 2"))},
      {"ffmpeg to a pipe", tagged(dir / "pipe.mp3")},
      {"lame -t parts of 128 and 192 kbit/s joined",
       tagged(Encode("cbr128.mp3", "-t -b 128")) + tagged(Encode("cbr192.mp3", "-t -b 192"))},
  };
  for (const auto& [name, input] : cases) {
    for (const char* mode : {"/T", "/TC"}) {
      SCOPED_TRACE(name + " " + mode);
      WriteFile(dir / "song.mp3", input);
      const RunResult run = RunScourby({"song.mp3", "/L", mode}, dir.path().string());
      EXPECT_NE(run.out.find(" - Added a VBR header of "), Bytes::npos) << run.out;
      const Bytes cleaned = ReadFile(dir / "song.mp3");
      ExpectTrueHeader(cleaned, true, false);
      const Bytes pcm = Decode(dir / "song.mp3", scratch);
      EXPECT_NEAR(ShownLength(dir / "song.mp3", scratch), PcmLength(pcm.size(), cleaned.substr(HeaderFrameLength(cleaned))),
                  0.03);
      EXPECT_TRUE(Sh("mpg123 -q -t " + Quote(dir / "song.mp3") + " 2>" + Quote(scratch / "errors.txt")));
      EXPECT_TRUE(Sh("ffmpeg -v error -i " + Quote(dir / "song.mp3") + " -f null - 2>>" + Quote(scratch / "errors.txt")));
      EXPECT_EQ(ReadFile(scratch / "errors.txt"), "");
      fs::remove(dir / "song.mp3.trash");
    }
  }
  // Gapless: the joined file's end is the last part's, which LAME's tag in
  // the first frame now tells.
  ASSERT_TRUE(Sh("sox -n -r 44100 -c 2 -b 16 " + Quote(dir / "short.wav") + " synth 2.3 sine 660 vol 0.5 2>/dev/null"));
  const Bytes first = ReadFile(Encode("a.mp3", "-V 2"));
  ASSERT_TRUE(Sh("lame --quiet -V 2 " + Quote(dir / "short.wav") + " " + Quote(dir / "b.mp3")));
  WriteFile(dir / "joined.mp3", first + ReadFile(dir / "b.mp3"));
  RunScourby({"joined.mp3"}, dir.path().string());
  const auto gapless = [&](const std::string& path) {
    fs::remove(scratch / "gapless.raw");
    EXPECT_TRUE(Sh("mpg123 -q -s " + Quote(path) + " > " + Quote(scratch / "gapless.raw") + " 2>/dev/null"));
    return ReadFile(scratch / "gapless.raw");
  };
  const Bytes last = gapless(dir / "b.mp3");
  ASSERT_GT(last.size(), 4000u);
  EXPECT_TRUE(gapless(dir / "joined.mp3").ends_with(last.substr(last.size() - 4000)));
}

// What a tag reader (mutagen) reads of a file's ID3 and APEv2 tags.
std::string TagsRead(const std::string& path, const TempDir& scratch) {
  const std::string out = scratch / "tags.txt";
  Sh("/usr/bin/python3 -c 'import sys, mutagen.id3, mutagen.apev2\n"
     "for kind in (mutagen.id3.ID3, mutagen.apev2.APEv2):\n"
     "  try: print(kind(sys.argv[1]).pprint())\n"
     "  except Exception as e: print(type(e).__name__)' " +
     Quote(path) + " > " + Quote(out) + " 2>&1");
  return ReadFile(out);
}

// Where frame n of a stream whose frames lie back to back begins.
std::size_t FrameOffset(const Bytes& frames, int n) {
  std::size_t at = 0;
  FrameHeader header;
  for (int i = 0; i < n && IsFrameHeader(reinterpret_cast<const std::uint8_t*>(frames.data()) + at, header); ++i) {
    at += static_cast<std::size_t>(header.frameLength);
  }
  return at;
}

// /K repairs the audio as a plain run does and keeps the tags, every byte
// where it stood: the tags in front of the stream, the frames of the plain
// run, the tags at the end. The trash is what went, a tag reader reads the
// same tags, and a second run changes nothing.
TEST_F(EncodedAudio, KeepTagsRepairsTheAudioAndLeavesEveryTagAsItWas) {
  if (const std::string tool = MissingPartTool(); !tool.empty()) GTEST_SKIP() << tool << " is not installed";
  if (!Have("mid3v2") || !Sh("/usr/bin/python3 -c 'import mutagen.apev2' 2>/dev/null")) {
    GTEST_SKIP() << "python3-mutagen is not installed";
  }
  const std::map<std::string, Part> parts = Parts();
  const Part &vbr = parts.at("vbr"), &cbr = parts.at("cbr");
  const Bytes v1 = vbr.tagged.substr(vbr.tagged.size() - 128);
  const Bytes leading = vbr.tagged.substr(0, vbr.id3v2Length);
  // mid3v2, then id3v2's ID3v1 tag, then mutagen's APEv2 tag behind it.
  WriteFile(dir / "mutagen.mp3", cbr.frames);
  ASSERT_TRUE(Sh("mid3v2 -a Artist -t Title -c Words " + Quote(dir / "mutagen.mp3") + " && id3v2 -1 -a Artist " +
                 Quote(dir / "mutagen.mp3") +
                 " && /usr/bin/python3 -c 'import sys; from mutagen.apev2 import APEv2; t = APEv2(); "
                 "t[\"Title\"] = \"Part\"; t.save(sys.argv[1])' " +
                 Quote(dir / "mutagen.mp3")));
  const Bytes mutagen = ReadFile(dir / "mutagen.mp3");
  const std::size_t mutagenFrames = mutagen.find(cbr.frames.substr(0, 1000));
  ASSERT_NE(mutagenFrames, Bytes::npos);
  // The frames with junk in the middle: audio to repair.
  const std::size_t middle = FrameOffset(vbr.frames, 40);
  const Bytes damaged = vbr.frames.substr(0, middle) + "JUNKJUNK" + vbr.frames.substr(middle);
  // A tag whose declared size stops 2000 bytes short of its end.
  Bytes tooSmall = vbr.tagged;
  const std::size_t declared = vbr.id3v2Length - 10 - 2048;
  for (int i = 0; i < 4; ++i) tooSmall[6 + i] = static_cast<char>((declared >> (21 - 7 * i)) & 0x7F);
  const std::size_t cutAt = cbr.frames.size() - 100;
  const struct {
    const char* name;
    Bytes input;
    std::size_t front, back;  // the tags kept in front and at the end
    Bytes plain;              // the input a plain run gives the same frames of
  } cases[] = {
      {"eyeD3 with a cover picture, id3v2's ID3v1", leading + damaged + v1, vbr.id3v2Length, 128, {}},
      {"mid3v2, ID3v1, mutagen's APEv2 behind it",
       mutagen,
       mutagenFrames,
       mutagen.size() - mutagenFrames - cbr.frames.size(),
       {}},
      {"a Lyrics3 block and ID3v1",
       leading + vbr.frames + Lyrics3V2() + v1,
       vbr.id3v2Length,
       Lyrics3V2().size() + 128,
       {}},
      {"an ID3v2.4 tag appended with its footer", damaged + Id3v2FooterTag(300), 0, 320, {}},
      {"two stacked ID3v2 tags", Id3v2Tag(500) + vbr.tagged, 510 + vbr.id3v2Length, 128, {}},
      {"joined from two tagged parts", vbr.tagged + cbr.tagged, vbr.id3v2Length, 128, {}},
      {"a last frame that runs into the ID3v1 tag", cbr.frames.substr(0, cutAt) + v1, 0, 128,
       cbr.frames.substr(0, cutAt)},
      {"a tag whose declared size is too small", tooSmall, vbr.id3v2Length - 2048, 128, {}},
  };
  for (const auto& c : cases) {
    for (const char* mode : {"/T", "/TC"}) {
      SCOPED_TRACE(std::string(c.name) + " " + mode);
      WriteFile(dir / "plain.mp3", c.plain.empty() ? c.input : c.plain);
      RunScourby({"plain.mp3", mode}, dir.path().string());
      const Bytes frames = ReadFile(dir / "plain.mp3");
      WriteFile(dir / "song.mp3", c.input);
      const std::string tagsBefore = TagsRead(dir / "song.mp3", scratch);
      fs::remove(dir / "song.mp3.trash");
      const RunResult run = RunScourby({"song.mp3", "/K", "/L", mode}, dir.path().string());
      const Bytes after = ReadFile(dir / "song.mp3");
      EXPECT_TRUE(after == c.input.substr(0, c.front) + frames + c.input.substr(c.input.size() - c.back)) << run.out;
      EXPECT_EQ(TagsRead(dir / "song.mp3", scratch), tagsBefore);
      // The trash is what went, the listing an index into it.
      const Bytes trash = Exists(dir / "song.mp3.trash") ? ReadFile(dir / "song.mp3.trash") : "";
      EXPECT_EQ(trash.size(), c.input.size() - after.size()) << run.out;
      Bytes listed;
      for (const auto& [offset, size, cleared] : ListedPieces(run.out)) listed += c.input.substr(offset, size);
      EXPECT_TRUE(listed == trash);
      EXPECT_NE(run.out.find(" - Cleaned " + std::to_string(trash.size()) + " bytes\r\n"), Bytes::npos) << run.out;
      const RunResult again = RunScourby({"song.mp3", "/K", mode}, dir.path().string());
      EXPECT_NE(again.out.find("song.mp3 - Cleaned 0 bytes\r\n"), Bytes::npos) << again.out;
      EXPECT_TRUE(ReadFile(dir / "song.mp3") == after);
      fs::remove(dir / "plain.mp3.trash");
    }
  }
}

// The Layer III streams whose bitrates vary get a VBR header; the others
// come out byte-identical, but for the one whose last frame is cut off.
TEST(Conformance, BitstreamsComeOutByteIdenticalButForAHeaderAndTheCutOffFrame) {
  const std::set<std::string> kVariable = {"M2L3_bitrate_16_all.bit",
                                           "M2L3_bitrate_22_all.bit",
                                           "M2L3_bitrate_24_all.bit",
                                           "l3-he_32khz.bit",
                                           "l3-he_44khz.bit",
                                           "l3-he_48khz.bit",
                                           "l3-test45.bit"};
  const fs::path corpus = CorpusDir();
  if (corpus.empty()) GTEST_SKIP() << "no shared corpus";
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(corpus / "conformance"))
    names.push_back(entry.path().filename().string());
  std::sort(names.begin(), names.end());
  for (const char* mode : {"/T", "/TC"}) {
    TempDir dir;
    for (const std::string& name : names) fs::copy_file(corpus / "conformance" / name, dir.path() / name);
    const RunResult run = RunScourby({"*.bit", mode}, dir.path().string());
    const auto outcomes = Outcomes(run.out, names);
    for (const std::string& name : names) {
      const Bytes original = ReadFile((corpus / "conformance" / name).string());
      const Bytes cleaned = ReadFile(dir / name);
      if (name == "l3-compl.bit") {
        EXPECT_TRUE(original.starts_with(cleaned));
        EXPECT_EQ(ReadFile(dir / (name + ".trash")), original.substr(cleaned.size()));
        EXPECT_EQ(outcomes.at(name), " - Cleaned " + std::to_string(original.size() - cleaned.size()) + " bytes");
      } else if (kVariable.count(name)) {
        // A Xing header frame in front tells players the true length; the
        // stream behind it is as it was.
        SCOPED_TRACE(name);
        ASSERT_GT(cleaned.size(), original.size());
        EXPECT_TRUE(cleaned.ends_with(original));
        ExpectTrueHeader(cleaned, true, false);
        EXPECT_EQ(outcomes.at(name), " - Cleaned 0 bytes");
        EXPECT_FALSE(Exists(dir / (name + ".trash")));
        if (Have("mpg123") && std::string(mode) == "/T") {
          TempDir scratch;
          WriteFile(dir / "original.mp3", original);
          EXPECT_TRUE(Decode(dir / name, scratch) == Decode(dir / "original.mp3", scratch));
        }
      } else {
        EXPECT_TRUE(cleaned == original) << name;
        EXPECT_EQ(outcomes.at(name), " - Cleaned 0 bytes") << name;
        EXPECT_FALSE(Exists(dir / (name + ".trash"))) << name;
      }
    }
  }
}

TEST(TaggedCorpus, EveryFileIsHandledAndCleanedAudioDecodesTheSame) {
  const fs::path corpus = CorpusDir();
  if (corpus.empty()) GTEST_SKIP() << "no shared corpus";
  TempDir dir, scratch;
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(corpus / "tagged")) {
    names.push_back(entry.path().filename().string());
    fs::copy_file(entry.path(), dir.path() / names.back());
  }
  std::sort(names.begin(), names.end());
  const RunResult run = RunScourby({"*", "/T"}, dir.path().string());
  const auto outcomes = Outcomes(run.out, names);
  for (const std::string& name : names) {
    SCOPED_TRACE(name);
    const std::string original = (corpus / "tagged" / name).string();
    const Bytes before = ReadFile(original);
    const Bytes after = ReadFile(dir / name);
    const std::string outcome = outcomes.count(name) ? outcomes.at(name) : "<missing>";
    if (outcome == "...No MP3!") {
      EXPECT_TRUE(after == before);
      continue;
    }
    ASSERT_TRUE(outcome.starts_with(" - Cleaned ")) << outcome;
    const Bytes trash = Exists(dir / (name + ".trash")) ? ReadFile(dir / (name + ".trash")) : "";
    EXPECT_EQ(after.size() + trash.size(), before.size());
    if (Have("mpg123") && name.ends_with(".mp3")) {
      const Bytes cleanPcm = Decode(dir / name, scratch);
      const Bytes originalPcm = Decode(original, scratch);
      if (name == "apev2-lyricsv2.mp3") {
        // Junk follows its second frame, so its first two frames are not
        // confirmed as the start of the audio and go with the head.
        EXPECT_LE(cleanPcm.size(), originalPcm.size());
      } else {
        EXPECT_TRUE(originalPcm.starts_with(cleanPcm)) << "cleaned audio is not the original's";
      }
    }
  }
}

// Files that are not MP3 at all, made by the tools people use.
TEST(NotMp3, NeverChangesWhateverTheSwitches) {
  TempDir dir;
  std::mt19937 random(7);
  Bytes noise(100000, '\0');
  for (char& c : noise) c = static_cast<char>(random());
  WriteFile(dir / "noise.bin", noise);
  // A valid header planted in random bytes, with nothing that follows it.
  Bytes planted = noise.substr(0, 5000) + Frame().substr(0, 4) + noise.substr(5000, 5000);
  WriteFile(dir / "planted.bin", planted);
  WriteFile(dir / "text.txt", "Just some text.\nNothing to clean here.\n");
  WriteFile(dir / "ffff.bin", Bytes(4096, '\xFF'));
  if (Have("sox")) {
    Sh("sox -n -r 44100 -c 2 -b 16 " + Quote(dir / "pcm.wav") + " synth 2 sine 440 noise vol 0.8 2>/dev/null");
    Sh("sox -n -r 8000 -c 1 -b 8 " + Quote(dir / "pcm8.wav") + " synth 2 noise 2>/dev/null");
    if (Have("flac")) Sh("flac -s " + Quote(dir / "pcm.wav") + " -o " + Quote(dir / "audio.flac"));
    if (Have("oggenc")) Sh("oggenc -Q " + Quote(dir / "pcm.wav") + " -o " + Quote(dir / "audio.ogg"));
    // Masters: 24- and 32-bit PCM faded from silence, whose samples near
    // silence chain chance frame headers; raw PCM named as an MP3.
    const std::string fade = " synth 3 brownnoise vol 0.3 fade 1 3 1 2>/dev/null";
    Sh("sox -R -n -r 44100 -c 2 -b 24 " + Quote(dir / "master24.wav") + fade);
    Sh("sox -R -n -r 96000 -c 2 -b 32 " + Quote(dir / "master32.wav") +
       " synth 2 pinknoise vol 0.3 fade 1 2 1 2>/dev/null");
    Sh("sox -R -n -r 48000 -c 2 -b 24 " + Quote(dir / "master24.aiff") + fade);
    Sh("sox -R -n -t raw -r 44100 -c 2 -b 24 -e signed " + Quote(dir / "raw24.mp3") + fade);
    Sh("sox -R -n -t raw -r 48000 -c 1 -b 32 -e signed " + Quote(dir / "raw32.mp3") + fade);
    if (Have("ffmpeg")) {
      const std::string from = "ffmpeg -loglevel error -i " + Quote(dir / "master24.wav") + " -c:a pcm_s24le ";
      Sh(from + Quote(dir / "master.w64"));
      Sh(from + "-rf64 always " + Quote(dir / "master-rf64.wav"));
      Sh("ffmpeg -loglevel error -i " + Quote(dir / "master24.wav") + " -c:a pcm_s24be " + Quote(dir / "master.caf"));
    }
    if (Have("flac") && Have("id3v2")) {
      Sh("flac -s " + Quote(dir / "master24.wav") + " -o " + Quote(dir / "tagged.flac") + " 2>/dev/null");
      Sh("id3v2 -t Master -a Someone " + Quote(dir / "tagged.flac"));
    }
  }
  if (Have("convert") && Sh("convert -version 2>/dev/null | grep -q ImageMagick")) {
    Sh("convert -size 300x200 plasma:fractal -quality 90 " + Quote(dir / "picture.jpg") + " 2>/dev/null");
    Sh("convert -size 200x100 gradient:red-blue " + Quote(dir / "picture.png") + " 2>/dev/null");
    // A picture named as an MP3.
    Sh("convert -seed 3 -size 300x300 plasma:fractal png:" + Quote(dir / "png.mp3") + " 2>/dev/null");
  }
  if (Exists(dir / "picture.jpg")) {
    // ICC profiles travel in APP2 segments, whose marker FF E2 looks like
    // the start of a frame header.
    const Bytes jpeg = ReadFile(dir / "picture.jpg");
    Bytes app2 = "\xFF\xE2";
    const Bytes body = "ICC_PROFILE" + Bytes(1, '\0') + "\x01\x01" + noise.substr(0, 3000);
    app2 += static_cast<char>((body.size() + 2) >> 8);
    app2 += static_cast<char>((body.size() + 2) & 0xFF);
    WriteFile(dir / "icc.jpg", jpeg.substr(0, 2) + app2 + body + app2 + body + jpeg.substr(2));
  }
  std::vector<std::string> names;
  std::map<std::string, Bytes> before;
  std::map<std::string, fs::file_time_type> times;
  for (const auto& entry : fs::directory_iterator(dir.path())) {
    names.push_back(entry.path().filename().string());
    before[names.back()] = ReadFile(entry.path().string());
    times[names.back()] = fs::last_write_time(entry.path());
  }
  std::sort(names.begin(), names.end());
  // Every mix of the switches that touch files or the lines; /F and /S,
  // which change neither here, ride along.
  const std::string letters = "vbtcpdnl";
  for (int mask = 0; mask < 256; ++mask) {
    std::string switches = mask % 3 == 0 ? "/fs" : "/";
    for (int bit = 0; bit < 8; ++bit) {
      if (mask & (1 << bit)) switches += letters[static_cast<std::size_t>(bit)];
    }
    const RunResult run = RunScourby({"*", switches}, dir.path().string());
    const auto outcomes = Outcomes(run.out, names);
    for (const std::string& name : names) {
      ASSERT_EQ(outcomes.count(name) ? outcomes.at(name) : "<missing>", "...No MP3!") << name << " " << switches;
    }
  }
  for (const auto& entry : fs::directory_iterator(dir.path())) {
    const std::string name = entry.path().filename().string();
    ASSERT_TRUE(before.count(name)) << "new file " << name;
    EXPECT_TRUE(ReadFile(entry.path().string()) == before[name]) << name;
    EXPECT_EQ(fs::last_write_time(entry.path()), times[name]) << name;
  }
}

// A large file of random bytes is searched to its end for a stream beyond
// the reach, finds none, and stays as it was.
TEST(NotMp3, ALargeRandomFileIsSearchedToItsEndAndLeftAsItWas) {
  TempDir dir;
  std::mt19937_64 random(20);
  Bytes noise(20 << 20, '\0');
  for (std::size_t i = 0; i + 8 <= noise.size(); i += 8) {
    const std::uint64_t word = random();
    std::memcpy(noise.data() + i, &word, 8);
  }
  WriteFile(dir / "noise.mp3", noise);
  for (const char* switches : {"/V", "/C", "/TB"}) {
    const RunResult run = RunScourby({"noise.mp3", switches}, dir.path().string());
    EXPECT_EQ(FileLines(run.out), "noise.mp3...No MP3!\r\n") << switches;
    EXPECT_TRUE(ReadFile(dir / "noise.mp3") == noise) << switches;
  }
  EXPECT_EQ(std::distance(fs::directory_iterator(dir.path()), fs::directory_iterator()), 1);
}

}  // namespace
}  // namespace scourby::testing
