#ifndef BUS_APPBUSPROTOCOL_H
#define BUS_APPBUSPROTOCOL_H

#include <QLatin1String>

// Names of the frames and their fields on the wire (docs/bus-protocol.md).
// Not constexpr: QLatin1String measures its text with strlen, which only
// some compilers evaluate at compile time.
namespace bus {
namespace protocol {

inline const QLatin1String KeyType("type");
inline const QLatin1String KeyName("name");
inline const QLatin1String KeyParams("params");
inline const QLatin1String KeyUid("uid");
inline const QLatin1String KeySender("sender");
inline const QLatin1String KeyReceiver("receiver");
inline const QLatin1String KeyDt("dt");
inline const QLatin1String KeyNeedAnswer("needAnswer");
inline const QLatin1String KeyLogged("logged");
inline const QLatin1String KeyContent("content");
inline const QLatin1String KeyFound("found");
inline const QLatin1String KeyClient("client");
inline const QLatin1String KeyChannel("channel");
inline const QLatin1String KeyServer("server");

inline const QLatin1String TypeHello("hello");
inline const QLatin1String TypeWelcome("welcome");
inline const QLatin1String TypeCommand("command");
inline const QLatin1String TypeAnswer("answer");
inline const QLatin1String TypeObject("object");
inline const QLatin1String TypeLoad("load");
inline const QLatin1String TypeLoaded("loaded");
inline const QLatin1String TypePing("ping");
inline const QLatin1String TypePong("pong");

inline const QLatin1String ChannelMsg("msg");
inline const QLatin1String ChannelQuery("query");

} // namespace protocol
} // namespace bus

#endif
