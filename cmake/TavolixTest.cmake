# tavolix_add_test(NAME name SOURCES files... LIBS targets... [GUI] [LABELS labels...])
# One executable per unit. GUI tests get a QApplication main on the offscreen
# platform; core tests a plain GoogleTest main. Every test runs twice: in a
# fixed locale (C.UTF-8, Asia/Tokyo) and as NAME@ja_JP in ja_JP.UTF-8 with
# Europe/Berlin (label user-locale).
function(tavolix_add_test)
  cmake_parse_arguments(T "GUI" "NAME" "SOURCES;LIBS;LABELS" ${ARGN})
  add_executable(${T_NAME} ${T_SOURCES})
  target_include_directories(${T_NAME} PRIVATE ${PROJECT_SOURCE_DIR}/tests/support)
  if(T_GUI)
    target_link_libraries(${T_NAME} PRIVATE tavolix_testsupport_gui ${T_LIBS})
  else()
    target_link_libraries(${T_NAME} PRIVATE tavolix_testsupport ${T_LIBS})
  endif()
  # Once in the fixed locale, once in a user's: Japanese, with a zone that
  # has summer time.
  set(common "QT_QPA_PLATFORM=offscreen" "TAVOLIX_TEST_DATA=${PROJECT_SOURCE_DIR}/tests/data")
  add_test(NAME ${T_NAME} COMMAND ${T_NAME})
  set_tests_properties(${T_NAME} PROPERTIES ENVIRONMENT "LC_ALL=C.UTF-8;TZ=Asia/Tokyo;${common}"
                                            TIMEOUT 600 LABELS "${T_LABELS}")
  add_test(NAME ${T_NAME}@ja_JP COMMAND ${T_NAME})
  set_tests_properties(${T_NAME}@ja_JP PROPERTIES ENVIRONMENT "LC_ALL=ja_JP.UTF-8;TZ=Europe/Berlin;${common}"
                                                  TIMEOUT 600 LABELS "${T_LABELS};user-locale")
endfunction()
