#pragma once

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
}

#include <memory>

namespace tolvex::host {

// Owners of FFmpeg's handles, each freed by the function FFmpeg names for it.

struct FfmpegInputClose {
    void operator()(AVFormatContext* context) const { avformat_close_input(&context); }
};
struct FfmpegOutputFree {
    void operator()(AVFormatContext* context) const { avformat_free_context(context); }
};
struct FfmpegCodecFree {
    void operator()(AVCodecContext* context) const { avcodec_free_context(&context); }
};
struct FfmpegFrameFree {
    void operator()(AVFrame* frame) const { av_frame_free(&frame); }
};
struct FfmpegPacketFree {
    void operator()(AVPacket* packet) const { av_packet_free(&packet); }
};
/// Frees a custom I/O context together with its buffer, which FFmpeg may
/// have replaced by one of its own.
struct FfmpegIoFree {
    void operator()(AVIOContext* io) const
    {
        av_freep(&io->buffer);
        avio_context_free(&io);
    }
};
struct FfmpegBufferFree {
    void operator()(unsigned char* buffer) const { av_free(buffer); }
};
struct FfmpegDictionaryFree {
    void operator()(AVDictionary* dictionary) const { av_dict_free(&dictionary); }
};

/// An opened input (avformat_open_input).
using FfmpegInput = std::unique_ptr<AVFormatContext, FfmpegInputClose>;
/// An output context (avformat_alloc_output_context2).
using FfmpegOutput = std::unique_ptr<AVFormatContext, FfmpegOutputFree>;
using FfmpegCodec = std::unique_ptr<AVCodecContext, FfmpegCodecFree>;
using FfmpegFrame = std::unique_ptr<AVFrame, FfmpegFrameFree>;
using FfmpegPacket = std::unique_ptr<AVPacket, FfmpegPacketFree>;
using FfmpegIo = std::unique_ptr<AVIOContext, FfmpegIoFree>;
using FfmpegBuffer = std::unique_ptr<unsigned char, FfmpegBufferFree>;
using FfmpegDictionary = std::unique_ptr<AVDictionary, FfmpegDictionaryFree>;

} // namespace tolvex::host
