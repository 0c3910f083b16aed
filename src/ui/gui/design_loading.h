#pragma once
// Marks the time a window spends loading its design. Controls skip checks there that
// only make sense between finished values (the gauge's range check). GUI thread only.
namespace rk5 {

class DesignLoading {
 public:
  DesignLoading();
  ~DesignLoading();
  DesignLoading(const DesignLoading&) = delete;
  DesignLoading& operator=(const DesignLoading&) = delete;

  static bool Active();
};

}  // namespace rk5
