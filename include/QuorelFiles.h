/**
 * \file QuorelFiles.h
 * \brief The settings file and AVI recordings, without a camera.
 *
 * These functions sit beside the 124 Quorel_* functions and change none of
 * them. They take no handle and open no camera: they read and write the
 * settings file (QUOREL_REGISTRY, else $XDG_CONFIG_HOME/quorel/registry.reg)
 * and mend recordings, for tools that work on files while no camera is open.
 *
 * Keys are paths relative to HKEY_CURRENT_USER, at or beneath
 * QUOREL_SETTINGS_ROOT_KEY, e.g. QUOREL_SETTINGS_ROOT_KEY "\\Camera_00\\Gain";
 * key and value names compare case-insensitively. Every value is a DWORD
 * holding a signed 32-bit integer.
 *
 * Results: each function states its own. QUOREL_FILES_INVALID (-1) always
 * means an invalid argument (a NULL pointer, a negative size, a key outside
 * the settings root), and nothing was read or written.
 *
 * Nothing is cached: each call reads the file anew under the file's lock, and
 * each write is one locked read-modify-write, atomic towards other processes
 * and towards cameras of this process saving their settings. A file that does
 * not parse is kept aside under a new name, as the cameras do.
 *
 * Thread context: any thread. Ownership: every buffer and record is the
 * caller's; the library only reads or writes it during the call.
 */
#ifndef QUOREL_FILES_H
#define QUOREL_FILES_H

#include "QuorelSdk_470KX_PLU.h"

#ifdef __cplusplus
extern "C" {
#endif

/** The settings root key, relative to HKEY_CURRENT_USER. Each camera's key is
 * "Camera_NN" beneath it (NN the device number, two digits), with the groups
 * "Gain", "Filter" and "Gray" and the size presets "Size_00".. beneath that. */
#define QUOREL_SETTINGS_ROOT_KEY "Software\\Velmor\\Quorel470KXPLUSdk"
/** Sensor width in pixels: the widest capture window. */
#define QUOREL_SENSOR_WIDTH 3488
/** Sensor height in lines: the tallest capture window. */
#define QUOREL_SENSOR_HEIGHT 2616
/** Size presets a key holds at most ("Size_00" to "Size_99"). */
#define QUOREL_MAX_SIZE_PRESETS 100

/** Result: an invalid argument; nothing was read or written. */
#define QUOREL_FILES_INVALID (-1)
/** Result of QuorelFiles_WriteDwords: the settings file could not be locked
 * or read (or a file that does not parse could not be moved aside); nothing
 * was written. */
#define QUOREL_FILES_UNAVAILABLE (-2)

/** One named DWORD value to write. */
typedef struct QuorelDwordValue {
  const char *name; /**< value name, not empty */
  int32_t value;    /**< the value */
} QuorelDwordValue;

/** A size preset, its values in the order stored ("TH" to "Buf"). */
typedef struct QuorelSizePreset {
  int32_t horizontalTotal; /**< "TH": horizontal total, pixels */
  int32_t verticalTotal;   /**< "TV": vertical total, lines */
  int32_t width;           /**< "EH": capture width, pixels */
  int32_t height;          /**< "EV": capture height, lines */
  int32_t horizontalStart; /**< "EHS": left edge on the sensor */
  int32_t verticalStart;   /**< "EVS": top edge on the sensor */
  int32_t presetBuffer;    /**< "Buf": stored with the preset, otherwise unused */
} QuorelSizePreset;

/** What QuorelFiles_RepairAvi made of a recording. */
typedef struct QuorelAviRepairInfo {
  uint32_t size;            /**< set by the caller: sizeof(QuorelAviRepairInfo) */
  uint32_t frames;          /**< whole frames in the repaired file */
  uint32_t rateHundredths;  /**< frame rate written, hundredths of a frame per second */
  int32_t rateFromDuration; /**< 1: the rate comes from the recorded duration (the
                               file's birth time to its last change); 0: the rate
                               the headers stated */
} QuorelAviRepairInfo;

/** The settings file's path, as the environment names it now.
 * \param path caller's buffer; may be NULL when size is 0
 * \param size bytes at path
 * \return the bytes the path needs, its terminating NUL included; the path is
 *         written only when that is at most size (otherwise an empty string
 *         is, when size > 0). 0 when the path cannot be formed (out of
 *         memory); QUOREL_FILES_INVALID for a NULL path with size > 0 or a
 *         negative size. */
QUOREL_API int QuorelFiles_GetSettingsPath(char *path, int size);

/** Whether a key exists (a key with keys beneath it exists too).
 * \param key the key
 * \return 1 exists, 0 does not (or there is no settings file),
 *         QUOREL_FILES_INVALID. */
QUOREL_API int QuorelFiles_KeyExists(const char *key);

/** Reads one DWORD value.
 * \param key the key
 * \param name the value's name
 * \param value caller's integer, written only when the result is 1
 * \return 1 read; 0 the key or the value is missing or the value is not a
 *         DWORD; QUOREL_FILES_INVALID. */
QUOREL_API int QuorelFiles_ReadDword(const char *key, const char *name, int32_t *value);

/** Writes values of one key in one transaction: creates the key (and its
 * parents) when missing and, only then, first writes the initial values, so
 * that a new key holds a full group; then writes the values in order (a later
 * one of the same name wins). Either all of it reaches the file or nothing.
 * \param key the key
 * \param values the values to write; may be NULL when count is 0
 * \param count number of values
 * \param initial values for a new key; may be NULL when initialCount is 0
 * \param initialCount number of initial values
 * \return 1 written; 0 the file could not be written (a name or key the file
 *         cannot hold, an unwritable path; the file is as it was);
 *         QUOREL_FILES_UNAVAILABLE; QUOREL_FILES_INVALID (also for a NULL or
 *         empty name). */
QUOREL_API int QuorelFiles_WriteDwords(const char *key, const QuorelDwordValue *values, int count,
                                       const QuorelDwordValue *initial, int initialCount);

/** Writes the entries a camera writes when it is first opened on this
 * account (the root key, the camera key of this device number with its
 * format values and a full-sensor "Size_00"), unless the root key exists.
 * Writing anything beneath the root key before that would make the next
 * camera skip its first run, so call this first.
 * \param deviceNumber 0 to 31
 * \return 1 the root key exists now (written now or before); 0 the file could
 *         not be written; QUOREL_FILES_INVALID for a device number out of
 *         range. */
QUOREL_API int QuorelFiles_EnsureFirstRunEntries(int deviceNumber);

/** The size presets directly beneath the root key, "Size_00" up to the first
 * missing number: the sizes Quorel_SetCaptureWindow looks up. A value missing
 * in a preset reads as the full sensor's (totals and size), 0 (starts) or 4
 * (buffer).
 * \param presets caller's array; may be NULL when capacity is 0
 * \param capacity entries at presets
 * \return the number of presets stored (0 without a root key); the first
 *         min(result, capacity) entries are written, the rest left as they
 *         are; QUOREL_FILES_INVALID. */
QUOREL_API int QuorelFiles_ReadRootPresets(QuorelSizePreset *presets, int capacity);

/** Appends a size preset directly beneath the root key with the next free
 * number (creating the root key when missing; see
 * QuorelFiles_EnsureFirstRunEntries).
 * \param preset the preset; its window must lie on the sensor, with a width
 *        and height of at least 1
 * \return 1 added; 0 all QUOREL_MAX_SIZE_PRESETS numbers are taken or the
 *         file could not be written; QUOREL_FILES_INVALID. */
QUOREL_API int QuorelFiles_AddRootPreset(const QuorelSizePreset *preset);

/** Rebuilds an AVI recording of this library whose program ended before
 * finishing it (killed, crashed, power lost): keeps every whole frame, cuts a
 * partial last one, writes the index, sizes and frame counts. A file that is
 * not such a recording is left untouched. A finished file is rebuilt to the
 * same frames.
 * \param path the file
 * \param info caller's record with `size` set; written on success
 * \param reason caller's buffer for why a repair was refused or failed
 *        (cut to fit, always terminated; empty on success); may be NULL when
 *        reasonSize is 0
 * \param reasonSize bytes at reason
 * \return 1 repaired; 0 refused or failed (reason written); QUOREL_FILES_INVALID
 *         (NULL path or info, info->size smaller than the record, NULL reason
 *         with reasonSize > 0, negative reasonSize). */
QUOREL_API int QuorelFiles_RepairAvi(const char *path, QuorelAviRepairInfo *info, char *reason, int reasonSize);

#ifdef __cplusplus
}
#endif

#endif /* QUOREL_FILES_H */
