#pragma once
// The fetch of a signed catalogue: the catalogue itself, then its ".minisig" beside it,
// each into memory, so that nothing of either reaches a file before it is checked.
#include <QObject>

#include <functional>
#include <string>

#include "net/http_fetch.h"

namespace rk5 {

// The most a ".minisig" may be: four short lines. A larger or endless one fails its fetch.
inline constexpr std::int32_t kMaxSignatureSize = 4 * 1024;

struct SignedFetchResult {
  bool catalogue_fetched = false;
  bool signature_fetched = false;
  std::string catalogue;
  std::string signature;
};

class TSignedFetch : public QObject {
  Q_OBJECT

 public:
  explicit TSignedFetch(QObject* owner = nullptr);

  // Raised once per Start on the GUI thread, after both fetches (or the first failed).
  std::function<void(const SignedFetchResult&)> OnDone;

  // Ignored while a fetch runs. limits: the owner's time-outs and trust for the fetches.
  void Start(const std::string& url, const HttpLimits& limits);
  bool Running() const { return catalogue_->Running() || signature_->Running(); }
  THttpFetch& Catalogue() { return *catalogue_; }

 private:
  void Finish();

  THttpFetch* catalogue_;
  THttpFetch* signature_;
  SignedFetchResult result_;
};

}  // namespace rk5
