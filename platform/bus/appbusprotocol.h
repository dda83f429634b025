#ifndef BUS_APPBUSPROTOCOL_H
#define BUS_APPBUSPROTOCOL_H

#include <QLatin1String>

// Names of the frames and their fields on the wire (docs/bus-protocol.md).
namespace bus {
namespace protocol {

constexpr QLatin1String KeyType("type");
constexpr QLatin1String KeyName("name");
constexpr QLatin1String KeyParams("params");
constexpr QLatin1String KeyUid("uid");
constexpr QLatin1String KeySender("sender");
constexpr QLatin1String KeyReceiver("receiver");
constexpr QLatin1String KeyDt("dt");
constexpr QLatin1String KeyNeedAnswer("needAnswer");
constexpr QLatin1String KeyLogged("logged");
constexpr QLatin1String KeyContent("content");
constexpr QLatin1String KeyFound("found");
constexpr QLatin1String KeyClient("client");
constexpr QLatin1String KeyChannel("channel");
constexpr QLatin1String KeyServer("server");

constexpr QLatin1String TypeHello("hello");
constexpr QLatin1String TypeWelcome("welcome");
constexpr QLatin1String TypeCommand("command");
constexpr QLatin1String TypeAnswer("answer");
constexpr QLatin1String TypeObject("object");
constexpr QLatin1String TypeLoad("load");
constexpr QLatin1String TypeLoaded("loaded");
constexpr QLatin1String TypePing("ping");
constexpr QLatin1String TypePong("pong");

constexpr QLatin1String ChannelMsg("msg");
constexpr QLatin1String ChannelQuery("query");

} // namespace protocol
} // namespace bus

#endif
