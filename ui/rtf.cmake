# The RTF reader behind the description page "Opis".
find_package(Qt6 REQUIRED COMPONENTS Gui)

add_library(eks_rtf STATIC ${CMAKE_CURRENT_LIST_DIR}/RtfReader.cpp)
get_filename_component(EKS_RTF_ROOT ${CMAKE_CURRENT_LIST_DIR}/.. ABSOLUTE)
target_include_directories(eks_rtf PUBLIC ${EKS_RTF_ROOT})
target_link_libraries(eks_rtf PUBLIC eks_core Qt6::Gui)
