// The sound output the host drives: the calls, names and results of the BASS audio library as far
// as the host uses them, on SDL2_mixer. One output (the default device) at a time; each stream is
// a whole sound file decoded into memory at the output's format and plays on a mixer channel of
// its own, so any number of streams sound together.
//
// Handles are non-zero 32-bit values below 2^31 (they travel through the script as numbers);
// 0 means failure. A handle is never given out twice in a process, so a handle kept after its
// stream was freed, or one that was never given out, only makes calls fail: they return FALSE
// (or -1, or 0 as stated) and set the error code. Every call is made from the host's one thread.
#pragma once

#include <cstdint>

#include "platform/d3d9/wintypes.h"
#include "platform/handles.h"

namespace hv {

using QWORD = uint64_t;
using HSTREAM = DWORD;

// Error codes reported by BASS_ErrorGetCode.
constexpr int BASS_OK = 0;
constexpr int BASS_ERROR_MEM = 1;        // out of memory
constexpr int BASS_ERROR_FILEOPEN = 2;   // the file could not be opened
constexpr int BASS_ERROR_DRIVER = 3;     // no audio driver available
constexpr int BASS_ERROR_HANDLE = 5;     // unknown or freed handle
constexpr int BASS_ERROR_POSITION = 7;   // position beyond the end of the stream
constexpr int BASS_ERROR_INIT = 8;       // BASS_Init has not succeeded
constexpr int BASS_ERROR_ALREADY = 14;   // already initialised
constexpr int BASS_ERROR_ILLTYPE = 19;   // attribute not supported
constexpr int BASS_ERROR_ILLPARAM = 20;  // bad parameter
constexpr int BASS_ERROR_DEVICE = 23;    // no such device, or it cannot be opened
constexpr int BASS_ERROR_NOTAVAIL = 37;  // mode not available
constexpr int BASS_ERROR_FILEFORM = 41;  // not a sound file that can be decoded
constexpr int BASS_ERROR_UNKNOWN = -1;

// Stream flags: the stream starts again at its end when played.
constexpr DWORD BASS_SAMPLE_LOOP = 4;
// Channel attributes: the volume, 0.0 (silent) to 1.0 (full); values beyond are clamped.
constexpr DWORD BASS_ATTRIB_VOL = 2;
// Position modes: bytes of the decoded stream.
constexpr DWORD BASS_POS_BYTE = 0;
// States reported by BASS_ChannelIsActive.
constexpr DWORD BASS_ACTIVE_STOPPED = 0;
constexpr DWORD BASS_ACTIVE_PLAYING = 1;
constexpr DWORD BASS_ACTIVE_PAUSED = 3;

// Opens the output. `device` -1 (or 1) is the default output device, the only one offered;
// `freq` is the output rate in Hz (44100 for the host); `flags`, `win` and `clsid` are accepted
// and unused. FALSE when there is no audio driver or device, or when the output is already open
// (BASS_ERROR_ALREADY; the open output and its streams stay as they are).
BOOL BASS_Init(int device, DWORD freq, DWORD flags, HWND win, const void* clsid);
// Closes the output; every stream is freed and its handle becomes unknown.
BOOL BASS_Free();
// Error code of the latest call on this thread (BASS_OK when it succeeded).
int BASS_ErrorGetCode();

// Opens a sound file as a stream, stopped at its beginning, volume 1.0. `mem` FALSE: `file` is a
// host path (backslashes and case-insensitive lookup as for every host path); TRUE: `file` points
// at a sound file in memory, which is decoded during the call and may be released afterwards.
// `offset` and `length` (0: to the end) select part of the file. Any format SDL2_mixer decodes
// (WAV, OGG, MP3, FLAC, ...). 0 on failure: output not open, file missing or unreadable, or not a
// decodable sound.
HSTREAM BASS_StreamCreateFile(BOOL mem, const void* file, QWORD offset, QWORD length, DWORD flags);
// Stops and frees the stream; its handle becomes unknown.
BOOL BASS_StreamFree(HSTREAM handle);

// Length of the decoded stream in bytes (`mode` BASS_POS_BYTE); (QWORD)-1 on failure.
QWORD BASS_ChannelGetLength(DWORD handle, DWORD mode);
// Playing time of `pos` bytes of the stream in seconds; negative on failure (unknown handle).
double BASS_ChannelBytes2Seconds(DWORD handle, QWORD pos);
// Sets an attribute; only BASS_ATTRIB_VOL is supported. Takes effect at once, also while playing.
BOOL BASS_ChannelSetAttribute(DWORD handle, DWORD attrib, float value);
// Reads an attribute set by BASS_ChannelSetAttribute.
BOOL BASS_ChannelGetAttribute(DWORD handle, DWORD attrib, float* value);
// Plays the stream: `restart` TRUE from its beginning, also when it is playing; FALSE from the
// position last set with BASS_ChannelSetPosition, or nothing when it is already playing. While
// the output is paused the stream starts with the output.
BOOL BASS_ChannelPlay(DWORD handle, BOOL restart);
// Stops the stream. The next play without restart begins at the position last set (the
// beginning unless set).
BOOL BASS_ChannelStop(DWORD handle);
// Sets the position (`mode` BASS_POS_BYTE) where the next play without restart begins; a playing
// stream goes on from there at once. FALSE beyond the end.
BOOL BASS_ChannelSetPosition(DWORD handle, QWORD pos, DWORD mode);
// BASS_ACTIVE_STOPPED, _PLAYING or _PAUSED (playing while the output is paused); STOPPED for an
// unknown handle.
DWORD BASS_ChannelIsActive(DWORD handle);

// Pauses the whole output: every playing stream holds where it is.
BOOL BASS_Pause();
// Resumes the output after BASS_Pause: held streams go on, streams played meanwhile begin.
BOOL BASS_Start();

}  // namespace hv
