/*
 * Driftlantern: the camera module that feeds a phone's JPEG stream into the
 * "Tavrin Video Capture Card" virtual capture device.
 *
 * Four exported functions, undecorated, cdecl (the caller removes the
 * arguments), each returning int:
 *
 *   DL_Start(connection)  Runs one transmission on an open Bluetooth serial
 *                         connection and blocks until it ends.
 *                           0  ended by DL_Stop
 *                           1  the wait failed, or a worker could not be started
 *                           2  the virtual device stopped streaming
 *                           3  a transmission already runs (nothing was done)
 *                           5  the Bluetooth link was lost
 *                         Whenever the result is not 3, the connection has been
 *                         closed (BT_SPP_Disconnect) by the time DL_Start returns.
 *   DL_Stop()             Ends the running transmission from another thread.
 *                           0  it ended; 1  it did not end within 30 s; 4  none ran
 *   DL_Enable(enable)     Switches the device state monitor on (non-zero) or off.
 *                         Not built yet: it does nothing and returns 0.
 *   DL_Send(frame)        Pushes one packed DIB frame (BITMAPINFOHEADER, colour
 *                         table, pixel rows) into the device: 0 sent, 1 failed.
 *                         Not built yet: it does nothing and returns 1.
 *
 * On Linux the connection is an open file descriptor: an RFCOMM socket, a TCP
 * or Unix socket, a pipe or a serial device such as /dev/rfcomm0.
 */
#ifndef DRIFTLANTERN_H
#define DRIFTLANTERN_H

#if defined(_WIN32)
#  define DL_CALL __cdecl
#  if defined(DL_BUILDING_MODULE)
#    define DL_API
#  else
#    define DL_API __declspec(dllimport)
#  endif
#else
#  define DL_CALL
#  define DL_API __attribute__((visibility("default")))
#endif

#ifdef __cplusplus
extern "C" {
#endif

DL_API int DL_CALL DL_Enable(int enable);
DL_API int DL_CALL DL_Start(unsigned int connection);
DL_API int DL_CALL DL_Stop(void);
DL_API int DL_CALL DL_Send(const void* packedDibFrame);

#ifdef __cplusplus
}
#endif

#endif /* DRIFTLANTERN_H */
