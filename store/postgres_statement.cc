#include "store/postgres_statement.h"

#include <Poco/Data/Session.h>
#include <Poco/Data/Statement.h>

#include <utility>

PostgresStatement::PostgresStatement(PostgresSession& session, std::string sql, Bind bind)
    : session_(session), sql_(std::move(sql)), bind_(std::move(bind)) {}

PostgresStatement::~PostgresStatement() {
  if (statement_) session_.SetAside(std::move(statement_));
}

std::size_t PostgresStatement::Run() {
  // Outside a transaction a lost connection is made again here, first.
  session_.Connected();
  if (statement_ && generation_ != session_.generation()) session_.SetAside(std::move(statement_));
  if (!statement_) {
    auto made = std::make_unique<Poco::Data::Statement>(session_.session());
    *made << sql_;
    bind_(*made);
    statement_ = std::move(made);
    generation_ = session_.generation();
  }
  try {
    return statement_->execute();
  } catch (...) {
    session_.SetAside(std::move(statement_));
    throw;
  }
}
