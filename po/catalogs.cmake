# The message catalogs: po/brindleway-helper.pot made by xgettext from the sources, one LL.po a
# language (po/LINGUAS), each compiled by msgfmt and installed where the helper reads them.
# "cmake --build build --target update-po" remakes the template and merges it into every .po;
# a new text comes in untranslated (no fuzzy guesses), and the catalogs test fails until it is.

find_program(BRINDLEWAY_MSGFMT msgfmt REQUIRED)
find_program(BRINDLEWAY_XGETTEXT xgettext REQUIRED)
find_program(BRINDLEWAY_MSGMERGE msgmerge REQUIRED)

set(BRINDLEWAY_PO_DIR ${PROJECT_SOURCE_DIR}/po)
set(BRINDLEWAY_POT ${BRINDLEWAY_PO_DIR}/brindleway-helper.pot)
file(STRINGS ${BRINDLEWAY_PO_DIR}/LINGUAS BRINDLEWAY_LINGUAS REGEX "^[^#]")

# The words table (src/common/words.h) marks its sentences with F_ and FP_, printf formats all;
# i18n_late_text translates its format itself.
# msg_out never translates: its translated texts pass through _() at the call site.
set(BRINDLEWAY_XGETTEXT_ARGS --language=C++ --from-code=UTF-8 --keyword=_ --keyword=N_
    --keyword=i18n_plural:1,2 --keyword=F_ --keyword=FP_:1,2 --flag=F_:1:c-format
    --flag=FP_:1:c-format --flag=FP_:2:c-format
    --keyword=i18n_late_text --flag=i18n_late_text:1:c-format
    --flag=i18n_plural:1:c-format --flag=i18n_plural:2:c-format --flag=_:1:pass-c-format
    --add-comments=TRANSLATORS: --sort-by-file --package-name=brindleway-helper
    --package-version=${PROJECT_VERSION}
    --msgid-bugs-address=maintainers@brindleway.example)
# The polkit action's description and message, which polkitd translates through this domain.
set(BRINDLEWAY_XGETTEXT_POLICY_ARGS --its=po/its/polkit.its --from-code=UTF-8 --join-existing
    --package-name=brindleway-helper --package-version=${PROJECT_VERSION}
    --msgid-bugs-address=maintainers@brindleway.example)
set(BRINDLEWAY_POLICY_IN dist/org.brindleway.helper.autologin.policy.in)
# Every source of the helper but its tests, relative to the project, as the template lists them.
get_target_property(BRINDLEWAY_LIB_SOURCES brindleway SOURCES)
set(BRINDLEWAY_MESSAGE_SOURCES ${BRINDLEWAY_LIB_SOURCES} src/cli/main.cc src/common/words.h)

set(BRINDLEWAY_MO_FILES)
foreach(lang ${BRINDLEWAY_LINGUAS})
  set(mo ${PROJECT_BINARY_DIR}/locale/${lang}/LC_MESSAGES/brindleway-helper.mo)
  add_custom_command(OUTPUT ${mo}
                     COMMAND ${CMAKE_COMMAND} -E make_directory ${PROJECT_BINARY_DIR}/locale/${lang}/LC_MESSAGES
                     COMMAND ${BRINDLEWAY_MSGFMT} --check -o ${mo} ${BRINDLEWAY_PO_DIR}/${lang}.po
                     DEPENDS ${BRINDLEWAY_PO_DIR}/${lang}.po VERBATIM)
  list(APPEND BRINDLEWAY_MO_FILES ${mo})
  install(FILES ${mo} DESTINATION ${BRINDLEWAY_LOCALE_DIR}/${lang}/LC_MESSAGES
          PERMISSIONS OWNER_READ OWNER_WRITE GROUP_READ WORLD_READ)
endforeach()
add_custom_target(catalogs ALL DEPENDS ${BRINDLEWAY_MO_FILES})

add_custom_target(update-po
                  COMMAND ${BRINDLEWAY_XGETTEXT} ${BRINDLEWAY_XGETTEXT_ARGS} -o ${BRINDLEWAY_POT}
                          ${BRINDLEWAY_MESSAGE_SOURCES}
                  COMMAND ${BRINDLEWAY_XGETTEXT} ${BRINDLEWAY_XGETTEXT_POLICY_ARGS}
                          -o ${BRINDLEWAY_POT} ${BRINDLEWAY_POLICY_IN}
                  WORKING_DIRECTORY ${PROJECT_SOURCE_DIR} VERBATIM)
foreach(lang ${BRINDLEWAY_LINGUAS})
  add_custom_command(TARGET update-po POST_BUILD
                     COMMAND ${BRINDLEWAY_MSGMERGE} --quiet --update --backup=none --no-fuzzy-matching
                             ${BRINDLEWAY_PO_DIR}/${lang}.po ${BRINDLEWAY_POT} VERBATIM)
endforeach()
