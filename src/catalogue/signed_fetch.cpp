#include "catalogue/signed_fetch.h"

#include "catalogue/program_files.h"
#include "ini/ini_file.h"

namespace rk5 {
namespace {

THttpFetch* MakeTextFetch(QObject* owner, std::int32_t size_limit) {
  auto* fetch = new THttpFetch(owner);
  fetch->BinaryData = false;
  fetch->SizeLimit = size_limit;
  return fetch;
}

}  // namespace

TSignedFetch::TSignedFetch(QObject* owner)
    : QObject(owner),
      catalogue_(MakeTextFetch(this, static_cast<std::int32_t>(kMaxIniFileSize))),
      signature_(MakeTextFetch(this, kMaxSignatureSize)) {
  catalogue_->OnDoneString = [this](THttpFetch*, const std::string& text) {
    result_.catalogue_fetched = true;
    result_.catalogue = text;
    signature_->FetchToString();
  };
  catalogue_->OnError = [this](THttpFetch*) { Finish(); };
  signature_->OnDoneString = [this](THttpFetch*, const std::string& text) {
    result_.signature_fetched = true;
    result_.signature = text;
    Finish();
  };
  signature_->OnError = [this](THttpFetch*) { Finish(); };
}

void TSignedFetch::Start(const std::string& url, const HttpLimits& limits) {
  if (Running()) return;
  result_ = {};
  catalogue_->URL = url;
  catalogue_->Limits = limits;
  signature_->URL = url + std::string(kSignatureSuffix);
  signature_->Limits = limits;
  catalogue_->FetchToString();
}

void TSignedFetch::Finish() {
  // Reported from the event loop, once the fetch that ended is idle again: a handler may
  // start the next refresh at once.
  QMetaObject::invokeMethod(
      this,
      [this] {
        const SignedFetchResult result = std::move(result_);
        result_ = {};
        if (OnDone) OnDone(result);
      },
      Qt::QueuedConnection);
}

}  // namespace rk5
