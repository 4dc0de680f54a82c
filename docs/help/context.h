// Help context numbers of the topics, as the programs ask for them (F1 in the console, Help in the
// tools menu of the client, the title bar's help button on a console control).
#define IDH_CONSOLE 400
#define IDH_TOOLS_MENU 500
#define IDH_KEY_LIST 800
#define IDH_VERIFY_PIN 805
#define IDH_CHANGE_PIN 810
#define IDH_UNBLOCK_PIN 815
#define IDH_CHANGE_LABEL 820
#define IDH_CLEAR_KEY 825
#define IDH_SHOW_PASSWORD 830
#define IDH_CHANGE_PASSWORD 835
#define IDH_CHANGE_ID 840
#define IDH_DETACH_ID 845
#define IDH_CLOSE 850
#define IDH_CHANGE_BIO 855
