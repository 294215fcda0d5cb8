// The Bluetooth serial-port library, BTApi.dll, bound at first use so that the
// module loads on machines without it; every call then fails.
#include "platform/platform.h"

namespace {

using RecvDataFn = int(__cdecl*)(unsigned int, unsigned char*, unsigned int*);
using DisconnectFn = int(__cdecl*)(unsigned int);

constexpr int kLibraryMissing = -1;

struct BtApi {
  RecvDataFn recvData = nullptr;
  DisconnectFn disconnect = nullptr;

  BtApi() {
    if (HMODULE library = LoadLibraryW(L"BTApi.dll")) {
      recvData = reinterpret_cast<RecvDataFn>(reinterpret_cast<void*>(GetProcAddress(library, "BT_SPP_RecvData")));
      disconnect =
          reinterpret_cast<DisconnectFn>(reinterpret_cast<void*>(GetProcAddress(library, "BT_SPP_Disconnect")));
    }
  }
};

const BtApi& Api() {
  static const BtApi api;
  return api;
}

}  // namespace

extern "C" int BT_SPP_RecvData(unsigned int connection, unsigned char* buffer, unsigned int* length) {
  const BtApi& api = Api();
  return api.recvData != nullptr ? api.recvData(connection, buffer, length) : kLibraryMissing;
}

extern "C" int BT_SPP_Disconnect(unsigned int connection) {
  const BtApi& api = Api();
  return api.disconnect != nullptr ? api.disconnect(connection) : kLibraryMissing;
}
