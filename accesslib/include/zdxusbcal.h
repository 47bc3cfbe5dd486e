/* zdxusbcal: access to calibrators on USB and to the PC parallel ports.
 *
 * Three exports, plain C, standard-call on 32-bit Windows, undecorated names.
 * The caller owns every buffer. The library writes into a buffer only within
 * the capacity passed (GetUSBDeviceInfo) or within the length of the command
 * the buffer brought plus its terminating NUL (CalCommand). Calls are not
 * thread-safe: make one call at a time.
 */
#ifndef ZDXUSBCAL_H
#define ZDXUSBCAL_H

#if defined(_WIN32) && !defined(_WIN64)
#define ZDXUSBCAL_CALL __stdcall
#else
#define ZDXUSBCAL_CALL
#endif

#if defined(_WIN32)
#if defined(ZDXUSBCAL_BUILDING)
#define ZDXUSBCAL_API __declspec(dllexport)
#else
#define ZDXUSBCAL_API __declspec(dllimport)
#endif
#elif defined(ZDXUSBCAL_BUILDING)
#define ZDXUSBCAL_API __attribute__((visibility("default")))
#else
#define ZDXUSBCAL_API
#endif

#ifdef __cplusplus
extern "C" {
#endif

ZDXUSBCAL_API int ZDXUSBCAL_CALL GetUSBDeviceInfo(int* deviceCount, char* serial,
                                                  int* serialLength, char* string4,
                                                  int* string4Length, char* string5,
                                                  int* string5Length, char* string6,
                                                  int* string6Length);

ZDXUSBCAL_API int ZDXUSBCAL_CALL CalCommand(int function, const char* serial, char* buffer,
                                            int* value);

ZDXUSBCAL_API int ZDXUSBCAL_CALL CommandLPT(int action, int portNumber);

#ifdef __cplusplus
}
#endif

#endif
