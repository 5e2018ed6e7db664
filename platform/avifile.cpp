#include "platform/avifile.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/imgutils.h>
#include <libswscale/swscale.h>
}

#include <dlfcn.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

// The clip libraries are opened only while a clip is open: with what they pull in they are
// some 160 shared objects and 25 MiB resident, and nothing but a clip needs them. The names are the sonames of the versions the
// headers describe, so a library of another major version (another ABI) is never taken.
namespace {
#define QUIBBLO_STRING(x) #x
#define QUIBBLO_SONAME(lib, major) "lib" #lib ".so." QUIBBLO_STRING(major)
// Opened in this order and closed in the reverse one: each after the ones it needs.
enum Library { kAvutil, kSwscale, kAvcodec, kAvformat, kLibraryCount };
constexpr const char* kSonames[kLibraryCount] = {
    QUIBBLO_SONAME(avutil, LIBAVUTIL_VERSION_MAJOR), QUIBBLO_SONAME(swscale, LIBSWSCALE_VERSION_MAJOR),
    QUIBBLO_SONAME(avcodec, LIBAVCODEC_VERSION_MAJOR), QUIBBLO_SONAME(avformat, LIBAVFORMAT_VERSION_MAJOR)};
constexpr Library kLib_avutil = kAvutil, kLib_swscale = kSwscale, kLib_avcodec = kAvcodec, kLib_avformat = kAvformat;

#define QUIBBLO_FFMPEG_FUNCTIONS(X) \
  X(avutil, av_free) \
  X(avutil, av_malloc) \
  X(avutil, av_log_set_level) \
  X(avutil, av_frame_alloc) \
  X(avutil, av_frame_free) \
  X(avutil, av_frame_move_ref) \
  X(avutil, av_frame_unref) \
  X(avcodec, av_packet_alloc) \
  X(avcodec, av_packet_free) \
  X(avcodec, av_packet_unref) \
  X(avcodec, avcodec_alloc_context3) \
  X(avcodec, avcodec_find_decoder) \
  X(avcodec, avcodec_flush_buffers) \
  X(avcodec, avcodec_free_context) \
  X(avcodec, avcodec_open2) \
  X(avcodec, avcodec_parameters_to_context) \
  X(avcodec, avcodec_receive_frame) \
  X(avcodec, avcodec_send_packet) \
  X(avformat, av_read_frame) \
  X(avformat, av_seek_frame) \
  X(avformat, avformat_close_input) \
  X(avformat, avformat_find_stream_info) \
  X(avformat, avformat_open_input) \
  X(swscale, sws_getCachedContext) \
  X(swscale, sws_scale) \
  X(swscale, sws_freeContext)

struct FfmpegFunctions {
#define QUIBBLO_MEMBER(lib, name) decltype(&::name) name = nullptr;
  QUIBBLO_FFMPEG_FUNCTIONS(QUIBBLO_MEMBER)
#undef QUIBBLO_MEMBER
};

FfmpegFunctions Ff;
void* handles[kLibraryCount] = {};
int users = 0;  // open files
std::string libraryDir;
std::string loadError;
bool errorSaid = false;

void CloseLibraries() {
  Ff = FfmpegFunctions{};
  for (int i = kLibraryCount - 1; i >= 0; --i)
    if (handles[i]) {
      dlclose(handles[i]);
      handles[i] = nullptr;
    }
}

bool OpenLibraries() {
  if (handles[kAvformat]) return true;
  for (int i = 0; i < kLibraryCount; ++i) {
    std::string name = libraryDir.empty() ? kSonames[i] : libraryDir + "/" + kSonames[i];
    handles[i] = dlopen(name.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!handles[i]) {
      const char* why = dlerror();
      loadError = std::string(kSonames[i]) + ": " + (why ? why : "cannot be opened");
      CloseLibraries();
      return false;
    }
  }
  bool all = true;
#define QUIBBLO_LOOKUP(lib, name)                                                                       \
  Ff.name = reinterpret_cast<decltype(&::name)>(dlsym(handles[kLib_##lib], #name));                     \
  if (!Ff.name && all) {                                                                                 \
    loadError = std::string(kSonames[kLib_##lib]) + " has no " #name;                                   \
    all = false;                                                                                         \
  }
  QUIBBLO_FFMPEG_FUNCTIONS(QUIBBLO_LOOKUP)
#undef QUIBBLO_LOOKUP
  if (!all) {
    CloseLibraries();
    return false;
  }
  Ff.av_log_set_level(AV_LOG_QUIET);  // damaged clips are expected, not news
  return true;
}

// One more user of the libraries, opening them for the first; false (said once on standard
// error) when they cannot be opened, and every clip then fails to open as a missing one does.
bool UseLibraries() {
  if (!OpenLibraries()) {
    if (!errorSaid)
      std::fprintf(stderr, "quibblo: clips cannot be played: %s (install FFmpeg's libraries of that version)\n",
                   loadError.c_str());
    errorSaid = true;
    return false;
  }
  ++users;
  return true;
}

// Once opened the libraries stay: FFmpeg keeps one-time state that it never frees, and
// unloading it under that state would leave it behind as a leak on every clip.
void DoneWithLibraries() { --users; }
}  // namespace

struct AviFile {
  AVFormatContext* format = nullptr;
  std::string path;  // to open it again when it cannot seek back
  uint32_t refs = 1;  // the caller's, and one per stream
};

struct AviStream {
  AviFile* file = nullptr;
  int index = 0;  // FFmpeg's stream index
  uint32_t type = 0;
  uint32_t refs = 1;
  std::vector<uint8_t> format;  // the record AVIStreamReadFormat copies
};

struct AviFrameReader {
  AviStream* stream = nullptr;
  AVCodecContext* codec = nullptr;
  AVPacket* packet = nullptr;
  // Frame n is sample n of the stream. An empty sample (a zero-length chunk) is not a picture
  // of its own: the frame before it stays on show, and later samples keep their numbers.
  AVFrame* frame = nullptr;  // the picture on show, decoded from sample frameIndex
  AVFrame* next = nullptr;   // the decoder's output; with `ahead`, a picture of a later sample
  int64_t frameIndex = -1;   // -1 before the first
  bool ahead = false;
  int64_t nextIndex = -1;
  int64_t lastSample = -1;   // the highest sample number met in the stream so far
  bool draining = false;     // the file is read to its end, the decoder is giving what it holds
  int64_t frameCount = -1;   // samples in the stream, known once the end is reached
  SwsContext* scaler = nullptr;
  uint8_t* picture = nullptr;  // header + bits, the bits 64-byte aligned
  int64_t pictureIndex = -1;
};

namespace {
constexpr int kMaxSide = 4096;
constexpr size_t kPictureLead = 64;  // header at 24, bits at 64

AVStream* StreamOf(const AviStream* stream) { return stream->file->format->streams[stream->index]; }

std::vector<uint8_t> VideoFormatRecord(const AVCodecParameters* par) {
  DibHeader h{};
  h.size = sizeof h;
  h.width = par->width;
  h.height = par->height;
  h.planes = 1;
  h.bitCount = static_cast<uint16_t>(par->bits_per_coded_sample ? par->bits_per_coded_sample : 24);
  h.compression = par->codec_tag;
  bool sane = par->width > 0 && par->height > 0 && par->width <= kMaxSide && par->height <= kMaxSide && h.bitCount <= 32;
  h.sizeImage = sane ? static_cast<uint32_t>(DibStride(&h)) * static_cast<uint32_t>(par->height) : 0;
  std::vector<uint8_t> record(sizeof h);
  std::memcpy(record.data(), &h, sizeof h);
  record.insert(record.end(), par->extradata, par->extradata + (par->extradata ? par->extradata_size : 0));
  return record;
}

std::vector<uint8_t> AudioFormatRecordOf(const AVCodecParameters* par) {
  AudioFormatRecord w{};
  w.formatTag = static_cast<uint16_t>(par->codec_tag ? par->codec_tag : 1);
  w.channels = static_cast<uint16_t>(par->ch_layout.nb_channels);
  w.samplesPerSec = static_cast<uint32_t>(par->sample_rate);
  w.avgBytesPerSec = static_cast<uint32_t>(par->bit_rate / 8);
  w.blockAlign = static_cast<uint16_t>(par->block_align);
  w.bitsPerSample = static_cast<uint16_t>(par->bits_per_coded_sample);
  int extra = par->extradata ? std::min(par->extradata_size, 0xFFFF) : 0;
  w.extraSize = static_cast<uint16_t>(extra);
  std::vector<uint8_t> record(sizeof w);
  std::memcpy(record.data(), &w, sizeof w);
  record.insert(record.end(), par->extradata, par->extradata + extra);
  return record;
}

AVFormatContext* OpenFormat(const char* path) {
  AVFormatContext* format = nullptr;
  if (Ff.avformat_open_input(&format, path, nullptr, nullptr) < 0) return nullptr;
  if (Ff.avformat_find_stream_info(format, nullptr) < 0) Ff.avformat_close_input(&format);
  return format;
}

void RewindReader(AviFrameReader* r) {
  AviFile* file = r->stream->file;
  AVStream* s = StreamOf(r->stream);
  int64_t start = s->start_time != AV_NOPTS_VALUE ? s->start_time : 0;
  if (Ff.av_seek_frame(file->format, r->stream->index, start, AVSEEK_FLAG_BACKWARD) < 0) {
    // No index to seek with (a cut file, say): read it again from the top.
    AVFormatContext* again = OpenFormat(file->path.c_str());
    if (again && again->nb_streams == file->format->nb_streams) {
      Ff.avformat_close_input(&file->format);
      file->format = again;
    } else if (again) {
      Ff.avformat_close_input(&again);
    }
  }
  Ff.avcodec_flush_buffers(r->codec);
  r->frameIndex = -1;
  r->ahead = false;
  r->draining = false;
}

// A timestamp of the stream as a sample number: an AVI stream counts in samples.
int64_t SampleOf(const AviFrameReader* r, int64_t timestamp) {
  if (timestamp == AV_NOPTS_VALUE) return AV_NOPTS_VALUE;
  const AVStream* s = StreamOf(r->stream);
  return timestamp - (s->start_time != AV_NOPTS_VALUE ? s->start_time : 0);
}

// The next picture of the stream into r->next, with its sample number; false at the end.
// Damaged packets are skipped.
bool DecodeNext(AviFrameReader* r) {
  for (;;) {
    int got = Ff.avcodec_receive_frame(r->codec, r->next);
    if (got == 0) {
      int64_t n = SampleOf(r, r->next->best_effort_timestamp);
      if (n == AV_NOPTS_VALUE || n <= r->frameIndex) n = r->frameIndex + 1;
      r->nextIndex = n;
      r->ahead = true;
      return true;
    }
    if (got == AVERROR_EOF || r->draining) {
      r->frameCount = std::max(r->lastSample, r->frameIndex) + 1;
      return false;
    }
    if (Ff.av_read_frame(r->stream->file->format, r->packet) < 0) {
      r->draining = true;
      Ff.avcodec_send_packet(r->codec, nullptr);
      continue;
    }
    if (r->packet->stream_index == r->stream->index) {
      if (r->packet->size > 0) {
        Ff.avcodec_send_packet(r->codec, r->packet);
      } else {
        // An empty sample, which the decoder would take for the end of the stream. A damaged
        // sample at the end counts for nothing: the clip ends with its last picture.
        int64_t n = SampleOf(r, r->packet->dts != AV_NOPTS_VALUE ? r->packet->dts : r->packet->pts);
        if (n != AV_NOPTS_VALUE && n < (int64_t{1} << 40)) r->lastSample = std::max(r->lastSample, n);
      }
    }
    Ff.av_packet_unref(r->packet);
  }
}

const DibHeader* Picture(AviFrameReader* r) {
  if (r->pictureIndex == r->frameIndex) return reinterpret_cast<const DibHeader*>(r->picture + kPictureLead - sizeof(DibHeader));
  AVFrame* f = r->frame;
  if (f->width <= 0 || f->height <= 0 || f->width > kMaxSide || f->height > kMaxSide) return nullptr;
  DibHeader h{};
  h.size = sizeof h;
  h.width = f->width;
  h.height = -f->height;
  h.planes = 1;
  h.bitCount = 16;
  h.compression = BI_BITFIELDS;
  int stride = DibStride(&h);
  h.sizeImage = static_cast<uint32_t>(stride) * static_cast<uint32_t>(f->height);
  r->scaler = Ff.sws_getCachedContext(r->scaler, f->width, f->height, static_cast<AVPixelFormat>(f->format), f->width,
                                   f->height, AV_PIX_FMT_RGB565LE, SWS_POINT, nullptr, nullptr, nullptr);
  if (!r->scaler) return nullptr;
  Ff.av_free(r->picture);
  r->picture = static_cast<uint8_t*>(Ff.av_malloc(kPictureLead + h.sizeImage));
  if (!r->picture) return nullptr;
  std::memcpy(r->picture + kPictureLead - sizeof h, &h, sizeof h);
  uint8_t* bits[4] = {r->picture + kPictureLead, nullptr, nullptr, nullptr};
  int strides[4] = {stride, 0, 0, 0};
  if (Ff.sws_scale(r->scaler, f->data, f->linesize, 0, f->height, bits, strides) != f->height) return nullptr;
  r->pictureIndex = r->frameIndex;
  return reinterpret_cast<const DibHeader*>(r->picture + kPictureLead - sizeof h);
}
}  // namespace

void AVIFileInit() {}

void AVIFileExit() {}

void AVIFileUseLibraryDir(const char* dir) {
  libraryDir = dir ? dir : "";
  errorSaid = false;
}

HRESULT AVIFileOpen(AviFile** file, const char* path) {
  if (!file || !path) return AVIERR_BADPARAM;
  *file = nullptr;
  if (!UseLibraries()) return AVIERR_FILEOPEN;
  AVFormatContext* format = OpenFormat(path);
  if (!format) {
    DoneWithLibraries();
    return AVIERR_FILEOPEN;
  }
  *file = new AviFile;
  (*file)->format = format;
  (*file)->path = path;
  return AVIERR_OK;
}

uint32_t AVIFileRelease(AviFile* file) {
  if (!file) return 0;
  if (--file->refs > 0) return file->refs;
  Ff.avformat_close_input(&file->format);
  delete file;
  DoneWithLibraries();  // streams and readers hold their file, so nothing of FFmpeg is left
  return 0;
}

HRESULT AVIFileGetStream(AviFile* file, AviStream** stream, uint32_t type, int32_t index) {
  if (!file || !stream) return AVIERR_BADPARAM;
  *stream = nullptr;
  AVMediaType wanted = type == streamtypeVIDEO ? AVMEDIA_TYPE_VIDEO : type == streamtypeAUDIO ? AVMEDIA_TYPE_AUDIO
                                                                                              : AVMEDIA_TYPE_UNKNOWN;
  int seen = 0;
  for (unsigned i = 0; i < file->format->nb_streams; ++i) {
    const AVCodecParameters* par = file->format->streams[i]->codecpar;
    // A cover picture is not a video stream.
    if (par->codec_type != wanted || (file->format->streams[i]->disposition & AV_DISPOSITION_ATTACHED_PIC)) continue;
    if (seen++ != index) continue;
    AviStream* s = new AviStream;
    s->file = file;
    s->index = static_cast<int>(i);
    s->type = type;
    s->format = wanted == AVMEDIA_TYPE_VIDEO ? VideoFormatRecord(par) : AudioFormatRecordOf(par);
    ++file->refs;
    *stream = s;
    return AVIERR_OK;
  }
  return AVIERR_NODATA;
}

uint32_t AVIStreamRelease(AviStream* stream) {
  if (!stream) return 0;
  if (--stream->refs > 0) return stream->refs;
  AVIFileRelease(stream->file);
  delete stream;
  return 0;
}

int32_t AVIStreamStart(AviStream* stream) {
  (void)stream;
  return 0;  // frames are numbered from the stream's first
}

HRESULT AVIStreamReadFormat(AviStream* stream, int32_t position, void* format, int32_t* size) {
  (void)position;
  if (!stream || !size) return AVIERR_BADPARAM;
  int32_t needed = static_cast<int32_t>(stream->format.size());
  if (!format) {
    *size = needed;
    return AVIERR_OK;
  }
  if (*size < needed) return AVIERR_BUFFERTOOSMALL;
  std::memcpy(format, stream->format.data(), stream->format.size());
  *size = needed;
  return AVIERR_OK;
}

AviFrameReader* AVIStreamGetFrameOpen(AviStream* stream) {
  if (!stream || stream->type != streamtypeVIDEO) return nullptr;
  const AVCodecParameters* par = StreamOf(stream)->codecpar;
  if (par->width <= 0 || par->height <= 0 || par->width > kMaxSide || par->height > kMaxSide) return nullptr;
  const AVCodec* decoder = Ff.avcodec_find_decoder(par->codec_id);
  if (!decoder) return nullptr;
  // The demuxer drops empty samples unless told to keep them; a trailing one still counts.
  StreamOf(stream)->discard = AVDISCARD_NONE;
  auto* r = new AviFrameReader;
  r->stream = stream;
  ++stream->refs;
  r->codec = Ff.avcodec_alloc_context3(decoder);
  r->packet = Ff.av_packet_alloc();
  r->frame = Ff.av_frame_alloc();
  r->next = Ff.av_frame_alloc();
  bool ok = r->codec && r->packet && r->frame && r->next && Ff.avcodec_parameters_to_context(r->codec, par) >= 0;
  if (ok) {
    r->codec->thread_count = 1;
    ok = Ff.avcodec_open2(r->codec, decoder, nullptr) >= 0;
  }
  if (!ok) {
    AVIStreamGetFrameClose(r);
    return nullptr;
  }
  return r;
}

const DibHeader* AVIStreamGetFrame(AviFrameReader* reader, int32_t position) {
  if (!reader || position < 0) return nullptr;
  if (reader->frameCount >= 0 && position >= reader->frameCount) return nullptr;
  if (position < reader->frameIndex) RewindReader(reader);
  while (reader->frameIndex < position) {
    if (!reader->ahead && !DecodeNext(reader)) break;
    // The picture on show stands for every sample up to the next picture's.
    if (reader->nextIndex > position && reader->frameIndex >= 0) break;
    Ff.av_frame_unref(reader->frame);
    Ff.av_frame_move_ref(reader->frame, reader->next);
    reader->frameIndex = reader->nextIndex;
    reader->ahead = false;
  }
  if (reader->frameIndex < 0) return nullptr;
  if (reader->frameCount >= 0 && position >= reader->frameCount) return nullptr;
  return Picture(reader);
}

HRESULT AVIStreamGetFrameClose(AviFrameReader* reader) {
  if (!reader) return AVIERR_BADPARAM;
  Ff.sws_freeContext(reader->scaler);
  Ff.av_free(reader->picture);
  Ff.av_frame_free(&reader->frame);
  Ff.av_frame_free(&reader->next);
  Ff.av_packet_free(&reader->packet);
  Ff.avcodec_free_context(&reader->codec);
  AVIStreamRelease(reader->stream);
  delete reader;
  return AVIERR_OK;
}
