#include "text/LocalizationTables.h"

#include <array>

namespace quillfern {
namespace {

// key, English, Simplified Chinese, Traditional Chinese, Japanese, Korean
constexpr auto rows = std::to_array<CatalogueRow>({
    {u"signInWelcome", u"Welcome to Quillfern", u"欢迎使用 Quillfern", u"歡迎使用 Quillfern", u"Quillfern へようこそ",
     u"Quillfern에 오신 것을 환영합니다"},
    {u"signInPitch", u"Sign in to securely access your portfolio.", u"登录以安全访问你的投资组合。",
     u"登入以安全存取你的投資組合。", u"サインインして、ポートフォリオに安全にアクセスしましょう。",
     u"로그인하여 포트폴리오에 안전하게 접근하세요."},
    {u"signInContinueGoogle", u"Continue with Google", u"使用 Google 继续", u"使用 Google 繼續", u"Google で続ける",
     u"Google로 계속하기"},
    {u"signInContinueBrowser", u"Continue in your browser", u"在浏览器中继续", u"在瀏覽器中繼續", u"ブラウザで続ける",
     u"브라우저에서 계속하기"},
    {u"signInOpeningGoogle", u"Opening Google…", u"正在打开 Google…", u"正在開啟 Google…", u"Google を開いています…",
     u"Google을 여는 중…"},
    {u"signInOpeningBrowser", u"Opening your browser…", u"正在打开浏览器…", u"正在開啟瀏覽器…",
     u"ブラウザを開いています…", u"브라우저를 여는 중…"},
    {u"signInWaiting", u"Finish signing in with your browser; Quillfern continues when you come back.",
     u"请在浏览器中完成登录，返回后 Quillfern 会继续。", u"請在瀏覽器中完成登入，返回後 Quillfern 會繼續。",
     u"ブラウザでサインインを完了してください。戻ると Quillfern が続きを進めます。",
     u"브라우저에서 로그인을 완료하세요. 돌아오면 Quillfern이 이어서 진행합니다."},
    {u"signInStopWaiting", u"Stop Waiting", u"停止等待", u"停止等待", u"待つのをやめる", u"대기 중지"},
    {u"signInFootnoteGoogle", u"Authentication is handled by Google. Quillfern never sees your password.",
     u"身份验证由 Google 处理。Quillfern 不会看到你的密码。", u"身分驗證由 Google 處理。Quillfern 不會看到你的密碼。",
     u"認証は Google が行います。Quillfern がパスワードを目にすることはありません。",
     u"인증은 Google이 처리합니다. Quillfern은 비밀번호를 볼 수 없습니다."},
    {u"signInFootnoteDevelopment",
     u"This service uses a local development sign-in, not Google. Any name and email are accepted.",
     u"此服务使用本地开发用登录，而非 Google。任何姓名和电子邮件地址均可使用。",
     u"此服務使用本機開發用登入，而非 Google。任何姓名和電子郵件地址皆可使用。",
     u"このサービスは Google ではなく、ローカルの開発用サインインを使います。名前とメールアドレスは何でも使えます。",
     u"이 서비스는 Google이 아닌 로컬 개발용 로그인을 사용합니다. 어떤 이름과 이메일이든 사용할 수 있습니다."},
    {u"signInFootnoteBrowser",
     u"You sign in on the service's page in your browser. Quillfern never sees your password.",
     u"你将在浏览器中的服务页面上登录。Quillfern 不会看到你的密码。",
     u"你將在瀏覽器中的服務頁面上登入。Quillfern 不會看到你的密碼。",
     u"サインインはブラウザに表示されるサービスのページで行います。Quillfern がパスワードを目にすることはありません。",
     u"로그인은 브라우저에 열리는 서비스 페이지에서 진행됩니다. Quillfern은 비밀번호를 볼 수 없습니다."},

    // Why a sign-in did not come about.
    {u"signInRequestFailed", u"Unable to create a secure login request.", u"无法创建安全的登录请求。",
     u"無法建立安全的登入要求。", u"安全なサインイン要求を作成できません。", u"안전한 로그인 요청을 만들 수 없습니다."},
    {u"signInAddressFailedGoogle", u"Unable to create the Google sign-in URL.", u"无法创建 Google 登录网址。",
     u"無法建立 Google 登入網址。", u"Google サインインのアドレスを作成できません。",
     u"Google 로그인 주소를 만들 수 없습니다."},
    {u"signInAddressFailed", u"Unable to create the sign-in URL.", u"无法创建登录网址。", u"無法建立登入網址。",
     u"サインインのアドレスを作成できません。", u"로그인 주소를 만들 수 없습니다."},
    {u"signInOpenFailedGoogle", u"Unable to open the Google sign-in window.", u"无法打开 Google 登录窗口。",
     u"無法開啟 Google 登入視窗。", u"Google サインインのウインドウを開けません。",
     u"Google 로그인 창을 열 수 없습니다."},
    {u"signInOpenFailed", u"Unable to open the sign-in page in your browser.", u"无法在浏览器中打开登录页面。",
     u"無法在瀏覽器中開啟登入頁面。", u"ブラウザでサインインのページを開けません。",
     u"브라우저에서 로그인 페이지를 열 수 없습니다."},
    {u"signInNoResult", u"The server did not return a login result.", u"服务器未返回登录结果。",
     u"伺服器未傳回登入結果。", u"サーバーからサインインの結果が返されませんでした。",
     u"서버가 로그인 결과를 반환하지 않았습니다."},
    {u"signInNoCode", u"The login response did not include a valid authorization code.",
     u"登录响应中没有有效的授权码。", u"登入回應中沒有有效的授權碼。",
     u"サインインの応答に有効な認可コードが含まれていませんでした。", u"로그인 응답에 유효한 인증 코드가 없습니다."},
    {u"signInNotCompleted", u"Unable to complete sign in: {0}", u"无法完成登录：{0}", u"無法完成登入：{0}",
     u"サインインを完了できません: {0}", u"로그인을 완료할 수 없습니다: {0}"},
    // The service's page in the browser once the sign-in is over.
    {u"signInDoneTitle", u"You're signed in", u"登录成功", u"登入成功", u"サインインしました", u"로그인되었습니다"},
    {u"signInDoneText", u"Return to Quillfern to continue. You can close this tab.",
     u"请返回 Quillfern 继续。你可以关闭此标签页。", u"請返回 Quillfern 繼續。你可以關閉此分頁。",
     u"Quillfern に戻って続けてください。このタブは閉じてかまいません。",
     u"Quillfern으로 돌아가 계속하세요. 이 탭은 닫아도 됩니다."},
    {u"signInUndoneTitle", u"Sign-in was not completed", u"登录未完成", u"登入未完成",
     u"サインインは完了していません", u"로그인이 완료되지 않았습니다"},
    {u"signInUndoneText", u"Return to Quillfern to see why and try again. You can close this tab.",
     u"请返回 Quillfern 查看原因并重试。你可以关闭此标签页。", u"請返回 Quillfern 查看原因並重試。你可以關閉此分頁。",
     u"Quillfern に戻って理由を確認し、もう一度お試しください。このタブは閉じてかまいません。",
     u"Quillfern으로 돌아가 이유를 확인하고 다시 시도하세요. 이 탭은 닫아도 됩니다."},
    {u"signInOpenApp", u"Open Quillfern", u"打开 Quillfern", u"開啟 Quillfern", u"Quillfern を開く", u"Quillfern 열기"},
});

} // namespace

std::span<const CatalogueRow> signInCatalogueRows()
{
    return rows;
}

} // namespace quillfern
