#include "store/postgres_transaction.h"

#include <cstdio>
#include <string>

#include "store/postgres_session.h"

namespace pga {

PostgresTransaction::PostgresTransaction(PostgresSession& session, const char* operation)
    : session_(session), operation_(operation) {
  std::string error;
  begun_ = session_.Begin(error);
  if (!begun_) std::printf("%s %s\n", operation_, error.c_str());
}

PostgresTransaction::~PostgresTransaction() {
  if (begun_ && !committed_) session_.Rollback();
}

bool PostgresTransaction::Write(const std::function<bool()>& write) {
  return !failed() && write();
}

bool PostgresTransaction::failed() const { return !begun_ || session_.TransactionFailed(); }

bool PostgresTransaction::Commit() {
  // A transaction that could not begin has written its line already.
  if (!begun_) return false;
  std::string error;
  committed_ = session_.Commit(error);
  if (!committed_) std::printf("%s %s\n", operation_, error.c_str());
  return committed_;
}

}  // namespace pga
