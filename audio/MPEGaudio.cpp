// PLACEHOLDER: being written.
#include "MPEGaudio.h"
#include "FileSource.h"
TMPEGaudio::TMPEGaudio() { Clear(); }
TMPEGaudio::~TMPEGaudio() = default;
void TMPEGaudio::Clear() { fileLength = 0; encoderText.clear(); vbr = {}; frame = {}; ID3v1Tag.Clear(); ID3v2Tag.Clear(); }
bool TMPEGaudio::LoadFromFile(const char* path) { TFileSource s; if (!s.Open(path)) { Clear(); return false; } return LoadFromSource(s); }
bool TMPEGaudio::LoadFromSource(TByteSource&) { Clear(); return false; }
std::uint16_t TMPEGaudio::BitRate() const { return 0; }
std::uint16_t TMPEGaudio::SampleRate() const { return 0; }
std::string TMPEGaudio::ChannelModeText() const { return "Unknown"; }
double TMPEGaudio::Duration() const { return 0; }
std::string TMPEGaudio::DurationText() const { return "00:00"; }
