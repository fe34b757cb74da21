# The netpbm module on bytes and the atomic-write helper: natively and, in the Windows builds,
# under Wine (where replacing a file takes its own call).
zavol_add_gtest(netpbm_tests
  SOURCES netpbm_test.cpp
  LIBS zavol_netpbm zavol_atomic_file
  LABELS portable)
