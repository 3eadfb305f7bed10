// The FFmpeg and C runtime entry points the engine calls. Each is a function-pointer variable in
// namespace ff, named like the exported function and typed by the installed prototype; it is empty
// until its library is bound and emptied again when the library is unbound. The engine calls FFmpeg
// only through these variables, so the program starts without the libraries and can take them
// from any folder.
#pragma once

#include <cstdarg>
#include <cstdio>
#include <type_traits>

#include "media/binding/ffmpeg_headers.h"
#include "platform/rtl/types.h"

// Entry points per library, in binding order: X(name, optional). An optional entry point may be
// missing from a build; every other one must be exported for the library to count as loaded.
#define CLV_AVCODEC_ENTRY_POINTS(X) \
  X(av_codec_iterate, false) \
  X(av_codec_is_decoder, false) \
  X(av_codec_is_encoder, false) \
  X(av_get_audio_frame_duration, false) \
  X(av_get_audio_frame_duration2, false) \
  X(av_get_bits_per_sample, false) \
  X(av_get_exact_bits_per_sample, false) \
  X(av_get_pcm_codec, false) \
  X(av_packet_alloc, false) \
  X(av_packet_clone, false) \
  X(av_packet_free, false) \
  X(av_packet_make_refcounted, false) \
  X(av_packet_make_writable, false) \
  X(av_packet_move_ref, false) \
  X(av_packet_ref, false) \
  X(av_packet_rescale_ts, false) \
  X(av_packet_unref, false) \
  X(av_packet_get_side_data, false) \
  X(av_packet_new_side_data, false) \
  X(av_packet_copy_props, false) \
  X(av_new_packet, false) \
  X(av_grow_packet, false) \
  X(av_shrink_packet, false) \
  X(av_parser_init, false) \
  X(av_parser_parse2, false) \
  X(av_parser_close, false) \
  X(av_parser_iterate, false) \
  X(av_bsf_alloc, false) \
  X(av_bsf_flush, false) \
  X(av_bsf_free, false) \
  X(av_bsf_get_by_name, false) \
  X(av_bsf_init, false) \
  X(av_bsf_iterate, false) \
  X(av_bsf_list_parse_str, false) \
  X(av_bsf_receive_packet, false) \
  X(av_bsf_send_packet, false) \
  X(av_bsf_get_null_filter, false) \
  X(av_rdft_init, false) \
  X(av_rdft_calc, false) \
  X(av_rdft_end, false) \
  X(avcodec_align_dimensions, false) \
  X(avcodec_align_dimensions2, false) \
  X(avcodec_alloc_context3, false) \
  X(avcodec_free_context, false) \
  X(avcodec_close, false) \
  X(avcodec_open2, false) \
  X(avcodec_is_open, false) \
  X(avcodec_send_packet, false) \
  X(avcodec_receive_frame, false) \
  X(avcodec_send_frame, false) \
  X(avcodec_receive_packet, false) \
  X(avcodec_decode_subtitle2, false) \
  X(avcodec_encode_subtitle, false) \
  X(avcodec_default_get_buffer2, false) \
  X(avcodec_descriptor_get, false) \
  X(avcodec_descriptor_get_by_name, false) \
  X(avcodec_fill_audio_frame, false) \
  X(avcodec_find_best_pix_fmt_of_list, false) \
  X(avcodec_find_decoder, false) \
  X(avcodec_find_decoder_by_name, false) \
  X(avcodec_find_encoder, false) \
  X(avcodec_find_encoder_by_name, false) \
  X(avcodec_flush_buffers, false) \
  X(avcodec_get_class, false) \
  X(avcodec_get_frame_class, false) \
  X(avcodec_get_subtitle_rect_class, false) \
  X(avcodec_get_name, false) \
  X(avcodec_get_type, false) \
  X(avcodec_string, false) \
  X(avcodec_parameters_alloc, false) \
  X(avcodec_parameters_free, false) \
  X(avcodec_parameters_copy, false) \
  X(avcodec_parameters_from_context, false) \
  X(avcodec_parameters_to_context, false) \
  X(avcodec_get_hw_config, false) \
  X(avcodec_version, false) \
  X(avsubtitle_free, false)

#define CLV_AVDEVICE_ENTRY_POINTS(X) \
  X(avdevice_register_all, false) \
  X(avdevice_version, false)

#define CLV_AVFILTER_ENTRY_POINTS(X) \
  X(av_buffersink_get_frame, false) \
  X(av_buffersink_get_frame_flags, false) \
  X(av_buffersink_get_samples, false) \
  X(av_buffersink_set_frame_size, false) \
  X(av_buffersink_get_type, false) \
  X(av_buffersink_get_time_base, false) \
  X(av_buffersink_get_format, false) \
  X(av_buffersink_get_frame_rate, false) \
  X(av_buffersink_get_w, false) \
  X(av_buffersink_get_h, false) \
  X(av_buffersink_get_sample_aspect_ratio, false) \
  X(av_buffersink_get_channels, false) \
  X(av_buffersink_get_ch_layout, false) \
  X(av_buffersink_get_sample_rate, false) \
  X(av_buffersrc_add_frame, false) \
  X(av_buffersrc_add_frame_flags, false) \
  X(av_buffersrc_write_frame, false) \
  X(av_buffersrc_close, false) \
  X(av_buffersrc_get_nb_failed_requests, false) \
  X(av_buffersrc_parameters_alloc, false) \
  X(av_buffersrc_parameters_set, false) \
  X(av_filter_iterate, false) \
  X(avfilter_get_by_name, false) \
  X(avfilter_get_class, false) \
  X(avfilter_graph_alloc, false) \
  X(avfilter_graph_alloc_filter, false) \
  X(avfilter_graph_config, false) \
  X(avfilter_graph_create_filter, false) \
  X(avfilter_graph_dump, false) \
  X(avfilter_graph_free, false) \
  X(avfilter_graph_get_filter, false) \
  X(avfilter_graph_parse2, false) \
  X(avfilter_graph_parse_ptr, false) \
  X(avfilter_graph_queue_command, false) \
  X(avfilter_graph_request_oldest, false) \
  X(avfilter_graph_send_command, false) \
  X(avfilter_graph_set_auto_convert, false) \
  X(avfilter_init_dict, false) \
  X(avfilter_init_str, false) \
  X(avfilter_free, false) \
  X(avfilter_inout_alloc, false) \
  X(avfilter_inout_free, false) \
  X(avfilter_link, false) \
  X(avfilter_pad_get_name, false) \
  X(avfilter_pad_get_type, false) \
  X(avfilter_filter_pad_count, false) \
  X(avfilter_version, false)

#define CLV_AVFORMAT_ENTRY_POINTS(X) \
  X(av_codec_get_id, false) \
  X(av_codec_get_tag, false) \
  X(av_codec_get_tag2, false) \
  X(av_demuxer_iterate, false) \
  X(av_muxer_iterate, false) \
  X(av_dump_format, false) \
  X(av_filename_number_test, false) \
  X(av_get_frame_filename, false) \
  X(av_find_best_stream, false) \
  X(av_find_input_format, false) \
  X(av_find_program_from_stream, false) \
  X(av_guess_codec, false) \
  X(av_guess_format, false) \
  X(av_guess_frame_rate, false) \
  X(av_guess_sample_aspect_ratio, false) \
  X(av_interleaved_write_frame, false) \
  X(av_write_frame, false) \
  X(av_write_trailer, false) \
  X(av_pkt_dump_log2, false) \
  X(av_read_frame, false) \
  X(av_read_pause, false) \
  X(av_read_play, false) \
  X(av_sdp_create, false) \
  X(av_seek_frame, false) \
  X(av_stream_get_parser, false) \
  X(av_stream_get_codec_timebase, false) \
  X(av_format_inject_global_side_data, false) \
  X(avformat_alloc_context, false) \
  X(avformat_alloc_output_context2, false) \
  X(avformat_close_input, false) \
  X(avformat_find_stream_info, false) \
  X(avformat_free_context, false) \
  X(avformat_get_class, false) \
  X(avformat_match_stream_specifier, false) \
  X(avformat_network_deinit, false) \
  X(avformat_network_init, false) \
  X(avformat_new_stream, false) \
  X(avformat_open_input, false) \
  X(avformat_query_codec, false) \
  X(avformat_seek_file, false) \
  X(avformat_write_header, false) \
  X(avformat_init_output, false) \
  X(avformat_version, false) \
  X(avio_alloc_context, false) \
  X(avio_context_free, false) \
  X(avio_check, false) \
  X(avio_close, false) \
  X(avio_closep, false) \
  X(avio_close_dyn_buf, false) \
  X(avio_feof, false) \
  X(avio_find_protocol_name, false) \
  X(avio_flush, false) \
  X(avio_open, false) \
  X(avio_open2, false) \
  X(avio_open_dyn_buf, false) \
  X(avio_printf, false) \
  X(avio_read, false) \
  X(avio_seek, false) \
  X(avio_size, false) \
  X(avio_skip, false) \
  X(avio_w8, false) \
  X(avio_write, false)

#define CLV_AVUTIL_ENTRY_POINTS(X) \
  X(av_asprintf, false) \
  X(av_audio_fifo_alloc, false) \
  X(av_audio_fifo_free, false) \
  X(av_audio_fifo_read, false) \
  X(av_audio_fifo_size, false) \
  X(av_audio_fifo_write, false) \
  X(av_bprint_finalize, false) \
  X(av_bprint_init, false) \
  X(av_bprintf, false) \
  X(av_buffer_create, false) \
  X(av_buffer_default_free, false) \
  X(av_buffer_ref, false) \
  X(av_buffer_unref, false) \
  X(av_buffer_pool_init, false) \
  X(av_buffer_pool_get, false) \
  X(av_buffer_pool_uninit, false) \
  X(av_channel_layout_compare, false) \
  X(av_channel_layout_copy, false) \
  X(av_channel_layout_default, false) \
  X(av_channel_layout_describe, false) \
  X(av_channel_layout_from_mask, false) \
  X(av_channel_layout_from_string, false) \
  X(av_channel_layout_uninit, false) \
  X(av_compare_ts, false) \
  X(av_cpu_count, false) \
  X(av_d2q, false) \
  X(av_default_item_name, false) \
  X(av_dict_copy, false) \
  X(av_dict_count, false) \
  X(av_dict_free, false) \
  X(av_dict_get, false) \
  X(av_dict_parse_string, false) \
  X(av_dict_set, false) \
  X(av_dict_set_int, false) \
  X(av_div_q, false) \
  X(av_expr_eval, false) \
  X(av_expr_free, false) \
  X(av_expr_parse, false) \
  X(av_fast_malloc, false) \
  X(av_fast_realloc, false) \
  X(av_fifo_alloc2, false) \
  X(av_fifo_can_read, false) \
  X(av_fifo_can_write, false) \
  X(av_fifo_freep2, false) \
  X(av_fifo_grow2, false) \
  X(av_fifo_read, false) \
  X(av_fifo_write, false) \
  X(av_find_best_pix_fmt_of_2, false) \
  X(av_find_nearest_q_idx, false) \
  X(av_force_cpu_flags, false) \
  X(av_frame_alloc, false) \
  X(av_frame_clone, false) \
  X(av_frame_copy, false) \
  X(av_frame_copy_props, false) \
  X(av_frame_free, false) \
  X(av_frame_get_buffer, false) \
  X(av_frame_make_writable, false) \
  X(av_frame_move_ref, false) \
  X(av_frame_ref, false) \
  X(av_frame_unref, false) \
  X(av_free, false) \
  X(av_freep, false) \
  X(av_gcd, false) \
  X(av_get_bytes_per_sample, false) \
  X(av_get_cpu_flags, false) \
  X(av_get_media_type_string, false) \
  X(av_get_packed_sample_fmt, false) \
  X(av_get_picture_type_char, false) \
  X(av_get_pix_fmt, false) \
  X(av_get_pix_fmt_name, false) \
  X(av_get_pix_fmt_string, false) \
  X(av_get_sample_fmt, false) \
  X(av_get_sample_fmt_name, false) \
  X(av_get_sample_fmt_string, false) \
  X(av_get_time_base_q, false) \
  X(av_get_token, false) \
  X(av_gettime, false) \
  X(av_gettime_relative, false) \
  X(av_image_alloc, false) \
  X(av_image_check_size, false) \
  X(av_image_copy, false) \
  X(av_image_copy_plane, false) \
  X(av_image_copy_to_buffer, false) \
  X(av_image_fill_arrays, false) \
  X(av_image_get_buffer_size, false) \
  X(av_image_get_linesize, false) \
  X(av_int_list_length_for_size, false) \
  X(av_log, false) \
  X(av_log_default_callback, false) \
  X(av_log_get_level, false) \
  X(av_log_set_callback, false) \
  X(av_log_set_flags, false) \
  X(av_log_set_level, false) \
  X(av_malloc, false) \
  X(av_mallocz, false) \
  X(av_max_alloc, false) \
  X(av_mul_q, false) \
  X(av_opt_find, false) \
  X(av_opt_free, false) \
  X(av_opt_get, false) \
  X(av_opt_get_double, false) \
  X(av_opt_get_int, false) \
  X(av_opt_next, false) \
  X(av_opt_ptr, false) \
  X(av_opt_set, false) \
  X(av_opt_set_bin, false) \
  X(av_opt_set_defaults, false) \
  X(av_opt_set_dict, false) \
  X(av_opt_set_dict2, false) \
  X(av_opt_set_double, false) \
  X(av_opt_set_int, false) \
  X(av_opt_set_q, false) \
  X(av_opt_child_class_iterate, false) \
  X(av_parse_cpu_caps, false) \
  X(av_parse_ratio, false) \
  X(av_parse_time, false) \
  X(av_parse_video_rate, false) \
  X(av_parse_video_size, false) \
  X(av_pix_fmt_count_planes, false) \
  X(av_pix_fmt_desc_get, false) \
  X(av_pix_fmt_get_chroma_sub_sample, false) \
  X(av_realloc, false) \
  X(av_realloc_array, false) \
  X(av_realloc_f, false) \
  X(av_reduce, false) \
  X(av_rescale, false) \
  X(av_rescale_delta, false) \
  X(av_rescale_q, false) \
  X(av_rescale_q_rnd, false) \
  X(av_rescale_rnd, false) \
  X(av_samples_alloc, false) \
  X(av_samples_get_buffer_size, false) \
  X(av_sample_fmt_is_planar, false) \
  X(av_strcasecmp, false) \
  X(av_strdup, false) \
  X(av_strerror, false) \
  X(av_strlcat, false) \
  X(av_strlcatf, false) \
  X(av_strlcpy, false) \
  X(av_strncasecmp, false) \
  X(av_strstart, false) \
  X(av_usleep, false) \
  X(avutil_version, false)

#define CLV_SWRESAMPLE_ENTRY_POINTS(X) \
  X(swr_alloc, false) \
  X(swr_alloc_set_opts2, false) \
  X(swr_convert, false) \
  X(swr_convert_frame, false) \
  X(swr_free, false) \
  X(swr_get_class, false) \
  X(swr_get_delay, false) \
  X(swr_init, false) \
  X(swr_is_initialized, false) \
  X(swr_set_channel_mapping, false) \
  X(swr_set_compensation, false) \
  X(swresample_version, false)

#define CLV_SWSCALE_ENTRY_POINTS(X) \
  X(sws_alloc_context, false) \
  X(sws_freeContext, false) \
  X(sws_getCachedContext, false) \
  X(sws_getContext, false) \
  X(sws_get_class, false) \
  X(sws_init_context, false) \
  X(sws_isSupportedInput, false) \
  X(sws_isSupportedOutput, false) \
  X(sws_scale, false) \
  X(swscale_version, false)
// The C runtime row. Its prototypes are spelled out because C++ overloads several of them.
#define CLV_LIBC_ENTRY_POINTS(X) \
  X(atoi, false, int (*)(const char*)) \
  X(fclose, false, int (*)(FILE*)) \
  X(ferror, false, int (*)(FILE*)) \
  X(fopen, false, FILE* (*)(const char*, const char*)) \
  X(fprintf, false, int (*)(FILE*, const char*, ...)) \
  X(fread, false, size_t (*)(void*, size_t, size_t, FILE*)) \
  X(fseek, false, int (*)(FILE*, long, int)) \
  X(ftell, false, long (*)(FILE*)) \
  X(fwrite, false, size_t (*)(const void*, size_t, size_t, FILE*)) \
  X(snprintf, false, int (*)(char*, size_t, const char*, ...)) \
  X(sscanf, false, int (*)(const char*, const char*, ...)) \
  X(strchr, false, char* (*)(const char*, int)) \
  X(strcmp, false, int (*)(const char*, const char*)) \
  X(strcspn, false, size_t (*)(const char*, const char*)) \
  X(strncmp, false, int (*)(const char*, const char*, size_t)) \
  X(strrchr, false, char* (*)(const char*, int)) \
  X(strtod, false, double (*)(const char*, char**)) \
  X(strtok, false, char* (*)(char*, const char*)) \
  X(strtol, false, long (*)(const char*, char**, int)) \
  X(vsprintf, false, int (*)(char*, const char*, va_list)) \
  X(vsnprintf, false, int (*)(char*, size_t, const char*, va_list))

namespace ff {

#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
#define CLV_DECLARE_FFMPEG_ENTRY(name, optional) inline decltype(&::name) name = nullptr;
#define CLV_DECLARE_LIBC_ENTRY(name, optional, type) inline std::type_identity_t<type> name = nullptr;
CLV_AVCODEC_ENTRY_POINTS(CLV_DECLARE_FFMPEG_ENTRY)
CLV_AVDEVICE_ENTRY_POINTS(CLV_DECLARE_FFMPEG_ENTRY)
CLV_AVFILTER_ENTRY_POINTS(CLV_DECLARE_FFMPEG_ENTRY)
CLV_AVFORMAT_ENTRY_POINTS(CLV_DECLARE_FFMPEG_ENTRY)
CLV_AVUTIL_ENTRY_POINTS(CLV_DECLARE_FFMPEG_ENTRY)
CLV_SWRESAMPLE_ENTRY_POINTS(CLV_DECLARE_FFMPEG_ENTRY)
CLV_SWSCALE_ENTRY_POINTS(CLV_DECLARE_FFMPEG_ENTRY)
CLV_LIBC_ENTRY_POINTS(CLV_DECLARE_LIBC_ENTRY)
#undef CLV_DECLARE_FFMPEG_ENTRY
#undef CLV_DECLARE_LIBC_ENTRY
#pragma GCC diagnostic pop

}  // namespace ff

// Bind routines: each takes the library's file name (for messages) and its module handle, binds
// the library's entry points in list order and runs the library's start-up calls. A missing
// mandatory entry point raises FFmpegException "Load function %s@%s error: %s"; the entry points
// bound before it keep their values. Unbind routines clear every entry point of their library.
void BindAVCodec(const WideString& fileName, void* handle);
void BindAVDevice(const WideString& fileName, void* handle);
void BindAVFilter(const WideString& fileName, void* handle);
void BindAVFormat(const WideString& fileName, void* handle);
void BindAVUtil(const WideString& fileName, void* handle);
void BindSwResample(const WideString& fileName, void* handle);
void BindSwScale(const WideString& fileName, void* handle);
void BindMsvcrt(const WideString& fileName, void* handle);
void UnbindAVCodec();
void UnbindAVDevice();
void UnbindAVFilter();
void UnbindAVFormat();
void UnbindAVUtil();
void UnbindSwResample();
void UnbindSwScale();
void UnbindMsvcrt();

// Looks one symbol up; raises for a missing mandatory one. The variable receives the address or
// nothing.
void* LookupEntryPoint(const WideString& fileName, void* handle, const char* name, bool optional);

template <class F>
void BindEntryPoint(const WideString& fileName, void* handle, const char* name, bool optional, F& variable) {
  variable = reinterpret_cast<F>(LookupEntryPoint(fileName, handle, name, optional));
}
