// Test support: group_host processes on one PostgreSQL store, and what they
// print compared with what the store holds.
#ifndef PGA_HOST_SHARED_HOSTS_SUPPORT_H_
#define PGA_HOST_SHARED_HOSTS_SUPPORT_H_

#include <chrono>
#include <filesystem>
#include <memory>
#include <regex>
#include <string>
#include <thread>
#include <vector>

#include "host/host_process.h"
#include "runtime/json.h"
#include "store/postgres_test_schema.h"

namespace pga {

namespace shared_hosts {

inline bool IsReply(const std::string& line) { return line.rfind("{\"reply\":", 0) == 0; }
inline bool IsNotification(const std::string& line) {
  return line.rfind("{\"notification\":", 0) == 0;
}

// `line` with its sending time masked: the hosts send at different moments.
inline std::string Masked(const std::string& line) {
  static const std::regex kTime("\"eventTimeMsec\":-?[0-9]+");
  return std::regex_replace(line, kTime, "\"eventTimeMsec\":T");
}

inline std::string CreateLine(const std::string& id, const std::string& parent) {
  return R"({"request": "CreateLogicalGroup", "group": {"groupId": ")" + id +
         R"(", "groupName": "Group )" + id + R"(", "parentId": ")" + parent + "\"}}";
}

// Whether the reply line says the request succeeded.
inline bool Succeeded(const std::string& reply) {
  return reply.find("\"succeeded\":true") != std::string::npos;
}

// "id|parent|type|order" of each item of a GetLogicalList reply, by id.
inline std::vector<std::string> ListedItems(const std::string& reply) {
  std::vector<std::string> items;
  rapidjson::Document doc;
  if (!pga_json::Parse(doc, reply) || !doc.IsObject()) return items;
  const rapidjson::Value* list = pga_json::FindMember(doc, "logicalList");
  const rapidjson::Value* all = list ? pga_json::FindMember(*list, "items") : nullptr;
  if (all == nullptr || !all->IsArray()) return items;
  for (const rapidjson::Value& item : all->GetArray()) {
    const rapidjson::Value* parent = pga_json::FindMember(item, "parentId");
    const rapidjson::Value* order = pga_json::FindMember(item, "order");
    items.push_back(pga_json::GetString(*pga_json::FindMember(item, "itemId")) + "|" +
                    (parent ? pga_json::GetString(*parent) : "") + "|" +
                    pga_json::GetString(*pga_json::FindMember(item, "type")) + "|" +
                    (order && order->IsInt() ? std::to_string(order->GetInt()) : "?"));
  }
  return items;
}

// The table in the form of ListedItems, by id.
inline std::vector<std::string> TableItems(const PostgresTestSchema& schema) {
  std::vector<std::string> items;
  for (const auto& row :
       schema.Query("SELECT uuid, parent_uuid, type, order_ FROM logical_table ORDER BY uuid")) {
    items.push_back(row[0] + "|" + row[1] + "|" + row[2] + "|" + row[3]);
  }
  return items;
}

// Asks `host` for its tree until it equals the table, for up to 10 s.
inline bool ConvergesTo(HostProcess& host, const PostgresTestSchema& schema) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (std::chrono::steady_clock::now() < deadline) {
    host.Send(R"({"request": "GetLogicalList"})");
    auto reply = host.AwaitLine(IsReply, std::chrono::seconds(10));
    if (reply && ListedItems(*reply) == TableItems(schema)) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  return false;
}

// Parents whose children share an order, with the order: none when every
// order is unique under its parent.
inline PostgresTestSchema::Rows SharedOrders(const PostgresTestSchema& schema) {
  return schema.Query(
      "SELECT parent_uuid, order_ FROM logical_table GROUP BY parent_uuid, order_ "
      "HAVING count(*) > 1");
}

}  // namespace shared_hosts

}  // namespace pga

#endif  // PGA_HOST_SHARED_HOSTS_SUPPORT_H_
