# Tests of the RTF reader, including a read of the real description page.
get_filename_component(EKS_RTF_TEST_ROOT ${CMAKE_CURRENT_LIST_DIR}/../.. ABSOLUTE)
eks_add_test(rtf_tests
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/RtfReaderTest.cpp
  LIBS eks_rtf)
target_compile_definitions(rtf_tests PRIVATE EKS_OPIS_RTF="${EKS_RTF_TEST_ROOT}/opis.rtf")
target_include_directories(rtf_tests PRIVATE ${CMAKE_SOURCE_DIR}/tests)
