#include "text/GicsNames.h"

#include <unicode/coll.h>
#include <unicode/locid.h>

#include <QHash>

#include <algorithm>
#include <array>
#include <memory>

namespace quillfern {
namespace {

struct GicsNameRow {
    const char16_t *english;
    const char16_t *simplifiedChinese;
    const char16_t *traditionalChinese;
    const char16_t *japanese;
    const char16_t *korean;
};

// Every sector and sub-industry of the classification the service ships (the revision of March 2023), in its
// order. Japanese keeps REIT in Latin letters, as Japanese financial writing does.
// English, Simplified Chinese, Traditional Chinese, Japanese, Korean
constexpr auto sectorRows = std::to_array<GicsNameRow>({
    {u"Energy", u"能源", u"能源", u"エネルギー", u"에너지"},
    {u"Materials", u"原材料", u"原物料", u"素材", u"소재"},
    {u"Industrials", u"工业", u"工業", u"資本財・サービス", u"산업재"},
    {u"Consumer Discretionary", u"非日常生活消费品", u"非必需消費品", u"一般消費財・サービス", u"경기소비재"},
    {u"Consumer Staples", u"日常消费品", u"必需消費品", u"生活必需品", u"필수소비재"},
    {u"Health Care", u"医疗保健", u"醫療保健", u"ヘルスケア", u"헬스케어"},
    {u"Financials", u"金融", u"金融", u"金融", u"금융"},
    {u"Information Technology", u"信息技术", u"資訊科技", u"情報技術", u"정보기술"},
    {u"Communication Services", u"通信服务", u"通訊服務", u"コミュニケーション・サービス", u"커뮤니케이션서비스"},
    {u"Utilities", u"公用事业", u"公用事業", u"公益事業", u"유틸리티"},
    {u"Real Estate", u"房地产", u"房地產", u"不動産", u"부동산"},
});

constexpr auto subIndustryRows = std::to_array<GicsNameRow>({
    {u"Oil & Gas Drilling", u"石油天然气钻井", u"石油與天然氣鑽探", u"石油・ガス掘削", u"석유 및 가스 시추"},
    {u"Oil & Gas Equipment & Services", u"石油天然气设备与服务", u"石油與天然氣設備及服務", u"石油・ガス装置・サービス",
     u"석유 및 가스 장비·서비스"},
    {u"Integrated Oil & Gas", u"综合性石油天然气", u"綜合石油與天然氣", u"総合石油・ガス", u"종합 석유 및 가스"},
    {u"Oil & Gas Exploration & Production", u"石油天然气勘探与生产", u"石油與天然氣探勘及生產", u"石油・ガス探査・開発",
     u"석유 및 가스 탐사·생산"},
    {u"Oil & Gas Refining & Marketing", u"石油天然气炼制与销售", u"石油與天然氣煉製及行銷", u"石油・ガス精製・販売",
     u"석유 및 가스 정제·판매"},
    {u"Oil & Gas Storage & Transportation", u"石油天然气储存与运输", u"石油與天然氣儲存及運輸", u"石油・ガス貯蔵・輸送",
     u"석유 및 가스 저장·운송"},
    {u"Coal & Consumable Fuels", u"煤炭与消费用燃料", u"煤炭與消耗性燃料", u"石炭・消耗燃料", u"석탄 및 소비용 연료"},
    {u"Commodity Chemicals", u"基础化工", u"基礎化學品", u"汎用化学品", u"범용 화학"},
    {u"Diversified Chemicals", u"综合化工", u"綜合化學品", u"総合化学", u"종합 화학"},
    {u"Fertilizers & Agricultural Chemicals", u"化肥与农用化工", u"肥料與農業化學品", u"肥料・農業用化学薬品",
     u"비료 및 농업용 화학"},
    {u"Industrial Gases", u"工业气体", u"工業氣體", u"産業用ガス", u"산업용 가스"},
    {u"Specialty Chemicals", u"特种化工", u"特用化學品", u"特殊化学品", u"특수 화학"},
    {u"Construction Materials", u"建筑材料", u"建材", u"建設資材", u"건축 자재"},
    {u"Metal, Glass & Plastic Containers", u"金属、玻璃与塑料容器", u"金屬、玻璃及塑膠容器",
     u"金属・ガラス・プラスチック容器", u"금속·유리·플라스틱 용기"},
    {u"Paper & Plastic Packaging Products & Materials", u"纸质与塑料包装产品及材料", u"紙類與塑膠包裝產品及材料",
     u"紙・プラスチック包装製品・資材", u"종이·플라스틱 포장 제품 및 자재"},
    {u"Aluminum", u"铝", u"鋁", u"アルミニウム", u"알루미늄"},
    {u"Diversified Metals & Mining", u"多元金属与采矿", u"多元金屬與採礦", u"各種金属・鉱業", u"다각화 금속 및 광업"},
    {u"Copper", u"铜", u"銅", u"銅", u"구리"},
    {u"Gold", u"黄金", u"黃金", u"金", u"금"},
    {u"Precious Metals & Minerals", u"贵金属与矿石", u"貴金屬與礦物", u"貴金属・鉱物", u"귀금속 및 광물"},
    {u"Silver", u"白银", u"白銀", u"銀", u"은"},
    {u"Steel", u"钢铁", u"鋼鐵", u"鉄鋼", u"철강"},
    {u"Forest Products", u"林产品", u"林產品", u"林産品", u"임산물"},
    {u"Paper Products", u"纸制品", u"紙製品", u"紙製品", u"종이 제품"},
    {u"Aerospace & Defense", u"航空航天与国防", u"航太與國防", u"航空宇宙・防衛", u"항공우주 및 방위"},
    {u"Building Products", u"建筑产品", u"建築產品", u"建設関連製品", u"건축 제품"},
    {u"Construction & Engineering", u"建筑与工程", u"營建與工程", u"建設・土木", u"건설 및 엔지니어링"},
    {u"Electrical Components & Equipment", u"电气部件与设备", u"電氣零組件與設備", u"電気部品・設備",
     u"전기 부품 및 장비"},
    {u"Heavy Electrical Equipment", u"重型电气设备", u"重電設備", u"重電機設備", u"중전기 장비"},
    {u"Industrial Conglomerates", u"工业集团企业", u"工業集團", u"コングロマリット", u"복합 산업"},
    {u"Construction Machinery & Heavy Transportation Equipment", u"建筑机械与重型运输设备", u"營建機械與重型運輸設備",
     u"建設機械・大型輸送機器", u"건설 기계 및 중형 운송 장비"},
    {u"Agricultural & Farm Machinery", u"农用机械", u"農業機械", u"農業機械", u"농업 기계"},
    {u"Industrial Machinery & Supplies & Components", u"工业机械、用品与零部件", u"工業機械、用品及零組件",
     u"産業機械・用品・部品", u"산업 기계·용품·부품"},
    {u"Trading Companies & Distributors", u"贸易公司与经销商", u"貿易公司與經銷商", u"商社・流通業",
     u"무역회사 및 유통업체"},
    {u"Commercial Printing", u"商业印刷", u"商業印刷", u"商業印刷", u"상업 인쇄"},
    {u"Environmental & Facilities Services", u"环境与设施服务", u"環境與設施服務", u"環境・ファシリティーサービス",
     u"환경 및 시설 서비스"},
    {u"Office Services & Supplies", u"办公服务与用品", u"辦公服務與用品", u"事務サービス・用品",
     u"사무 서비스 및 용품"},
    {u"Diversified Support Services", u"综合支持服务", u"綜合支援服務", u"各種支援サービス", u"다각화 지원 서비스"},
    {u"Security & Alarm Services", u"安保与报警服务", u"保全與警報服務", u"セキュリティ・警報装置サービス",
     u"보안 및 경보 서비스"},
    {u"Human Resource & Employment Services", u"人力资源与就业服务", u"人力資源與就業服務", u"人材・雇用サービス",
     u"인적자원 및 고용 서비스"},
    {u"Research & Consulting Services", u"研究与咨询服务", u"研究與顧問服務", u"調査・コンサルティング",
     u"리서치 및 컨설팅 서비스"},
    {u"Data Processing & Outsourced Services", u"数据处理与外包服务", u"資料處理與委外服務",
     u"データ処理・外部委託サービス", u"데이터 처리 및 아웃소싱 서비스"},
    {u"Air Freight & Logistics", u"航空货运与物流", u"航空貨運與物流", u"航空貨物・物流サービス", u"항공 화물 및 물류"},
    {u"Passenger Airlines", u"客运航空", u"客運航空", u"旅客航空", u"여객 항공"},
    {u"Marine Transportation", u"海运", u"海運", u"海運", u"해운"},
    {u"Rail Transportation", u"铁路运输", u"鐵路運輸", u"鉄道", u"철도 운송"},
    {u"Cargo Ground Transportation", u"陆路货运", u"陸路貨運", u"陸上貨物輸送", u"육상 화물 운송"},
    {u"Passenger Ground Transportation", u"陆路客运", u"陸路客運", u"陸上旅客輸送", u"육상 여객 운송"},
    {u"Airport Services", u"机场服务", u"機場服務", u"空港サービス", u"공항 서비스"},
    {u"Highways & Railtracks", u"公路与铁路", u"公路與鐵路", u"高速道路・鉄道路線", u"고속도로 및 철로"},
    {u"Marine Ports & Services", u"港口与服务", u"港口與服務", u"港湾サービス", u"항만 및 서비스"},
    {u"Automotive Parts & Equipment", u"汽车零配件与设备", u"汽車零組件與設備", u"自動車部品・装置",
     u"자동차 부품 및 장비"},
    {u"Tires & Rubber", u"轮胎与橡胶", u"輪胎與橡膠", u"タイヤ・ゴム", u"타이어 및 고무"},
    {u"Automobile Manufacturers", u"汽车制造商", u"汽車製造商", u"自動車製造", u"자동차 제조"},
    {u"Motorcycle Manufacturers", u"摩托车制造商", u"機車製造商", u"オートバイ製造", u"오토바이 제조"},
    {u"Consumer Electronics", u"消费电子产品", u"消費性電子產品", u"家庭用電気機器", u"소비자 전자제품"},
    {u"Home Furnishings", u"家居装饰", u"居家裝飾", u"家具・装飾品", u"가정용 가구"},
    {u"Homebuilding", u"住宅建筑", u"住宅建築", u"住宅建設", u"주택 건설"},
    {u"Household Appliances", u"家用电器", u"家用電器", u"家庭用電化製品", u"가전제품"},
    {u"Housewares & Specialties", u"家居用品与特色商品", u"家庭用品與特殊用品", u"家庭用品・雑貨",
     u"가정용품 및 특수용품"},
    {u"Leisure Products", u"休闲用品", u"休閒用品", u"レジャー用品", u"레저용품"},
    {u"Apparel, Accessories & Luxury Goods", u"服装、饰品与奢侈品", u"服飾、配件與奢侈品",
     u"アパレル・アクセサリー・贅沢品", u"의류·액세서리·명품"},
    {u"Footwear", u"鞋类", u"鞋類", u"履物", u"신발"},
    {u"Textiles", u"纺织品", u"紡織品", u"繊維", u"섬유"},
    {u"Casinos & Gaming", u"博彩与游戏", u"博奕與遊戲", u"カジノ・ゲーム", u"카지노 및 게임"},
    {u"Hotels, Resorts & Cruise Lines", u"酒店、度假村与邮轮", u"飯店、度假村與郵輪", u"ホテル・リゾート・クルーズ船",
     u"호텔·리조트·크루즈"},
    {u"Leisure Facilities", u"休闲设施", u"休閒設施", u"レジャー施設", u"레저 시설"},
    {u"Restaurants", u"餐馆", u"餐廳", u"レストラン", u"레스토랑"},
    {u"Education Services", u"教育服务", u"教育服務", u"教育サービス", u"교육 서비스"},
    {u"Specialized Consumer Services", u"专业消费者服务", u"專業消費者服務", u"専門消費者サービス",
     u"전문 소비자 서비스"},
    {u"Distributors", u"经销商", u"經銷商", u"販売", u"유통업체"},
    {u"Broadline Retail", u"综合零售", u"綜合零售", u"総合小売", u"종합 소매"},
    {u"Apparel Retail", u"服装零售", u"服飾零售", u"衣料品小売", u"의류 소매"},
    {u"Computer & Electronics Retail", u"电脑与电子产品零售", u"電腦與電子產品零售", u"コンピュータ・電子機器小売",
     u"컴퓨터 및 전자제품 소매"},
    {u"Home Improvement Retail", u"家装零售", u"居家修繕零售", u"ホームセンター", u"주택 개량용품 소매"},
    {u"Other Specialty Retail", u"其他专营零售", u"其他專賣零售", u"その他の専門小売", u"기타 전문 소매"},
    {u"Automotive Retail", u"汽车零售", u"汽車零售", u"自動車小売", u"자동차 소매"},
    {u"Homefurnishing Retail", u"家居用品零售", u"家具零售", u"家具小売", u"가구 소매"},
    {u"Drug Retail", u"药品零售", u"藥品零售", u"ドラッグストア", u"의약품 소매"},
    {u"Food Distributors", u"食品经销商", u"食品經銷商", u"食品流通", u"식품 유통"},
    {u"Food Retail", u"食品零售", u"食品零售", u"食品小売", u"식품 소매"},
    {u"Consumer Staples Merchandise Retail", u"日常消费品零售", u"必需消費品零售", u"生活必需品小売",
     u"필수소비재 소매"},
    {u"Brewers", u"啤酒酿造商", u"啤酒釀造", u"ビール", u"맥주"},
    {u"Distillers & Vintners", u"白酒与葡萄酒", u"蒸餾酒與葡萄酒", u"蒸留酒・ワイン", u"증류주 및 와인"},
    {u"Soft Drinks & Non-alcoholic Beverages", u"软饮料与非酒精饮料", u"軟性飲料與非酒精飲料",
     u"清涼飲料・ノンアルコール飲料", u"청량음료 및 비알코올 음료"},
    {u"Agricultural Products & Services", u"农产品与服务", u"農產品與服務", u"農産物・サービス", u"농산물 및 서비스"},
    {u"Packaged Foods & Meats", u"包装食品与肉类", u"包裝食品與肉類", u"加工食品・食肉", u"가공식품 및 육류"},
    {u"Tobacco", u"烟草", u"菸草", u"タバコ", u"담배"},
    {u"Household Products", u"家庭用品", u"家庭用品", u"家庭用品", u"가정용품"},
    {u"Personal Care Products", u"个人护理用品", u"個人護理用品", u"パーソナルケア用品", u"개인 생활용품"},
    {u"Health Care Equipment", u"医疗保健设备", u"醫療保健設備", u"ヘルスケア機器", u"헬스케어 장비"},
    {u"Health Care Supplies", u"医疗保健用品", u"醫療保健用品", u"ヘルスケア用品", u"헬스케어 용품"},
    {u"Health Care Distributors", u"医疗保健经销商", u"醫療保健經銷商", u"ヘルスケア・ディストリビューター",
     u"헬스케어 유통"},
    {u"Health Care Services", u"医疗保健服务", u"醫療保健服務", u"ヘルスケア・サービス", u"헬스케어 서비스"},
    {u"Health Care Facilities", u"医疗保健设施", u"醫療保健設施", u"ヘルスケア施設", u"헬스케어 시설"},
    {u"Managed Health Care", u"管理式医疗保健", u"管理式醫療保健", u"マネージドヘルスケア", u"관리형 헬스케어"},
    {u"Health Care Technology", u"医疗保健技术", u"醫療保健技術", u"ヘルスケア・テクノロジー", u"헬스케어 기술"},
    {u"Biotechnology", u"生物科技", u"生物科技", u"バイオテクノロジー", u"생명공학"},
    {u"Pharmaceuticals", u"制药", u"製藥", u"医薬品", u"제약"},
    {u"Life Sciences Tools & Services", u"生命科学工具与服务", u"生命科學工具與服務",
     u"ライフサイエンス・ツール・サービス", u"생명과학 도구 및 서비스"},
    {u"Diversified Banks", u"综合性银行", u"綜合銀行", u"総合銀行", u"다각화 은행"},
    {u"Regional Banks", u"区域性银行", u"區域銀行", u"地方銀行", u"지방 은행"},
    {u"Diversified Financial Services", u"多元金融服务", u"多元金融服務", u"各種金融サービス", u"다각화 금융 서비스"},
    {u"Multi-Sector Holdings", u"多领域控股", u"多元控股", u"複合持株会社", u"복합 지주회사"},
    {u"Specialized Finance", u"特殊金融服务", u"特殊金融", u"特殊金融サービス", u"특수 금융"},
    {u"Commercial & Residential Mortgage Finance", u"商业与住宅抵押贷款", u"商業與住宅抵押貸款",
     u"商業・住宅用不動産金融", u"상업 및 주거용 모기지 금융"},
    {u"Transaction & Payment Processing Services", u"交易与支付处理服务", u"交易與支付處理服務",
     u"取引・決済処理サービス", u"거래 및 결제 처리 서비스"},
    {u"Consumer Finance", u"消费信贷", u"消費金融", u"消費者金融", u"소비자 금융"},
    {u"Asset Management & Custody Banks", u"资产管理与托管银行", u"資產管理與保管銀行", u"資産運用・資産管理銀行",
     u"자산운용 및 수탁은행"},
    {u"Investment Banking & Brokerage", u"投资银行业与经纪业", u"投資銀行與經紀", u"投資銀行・証券",
     u"투자은행 및 증권"},
    {u"Diversified Capital Markets", u"多元资本市场", u"多元資本市場", u"各種資本市場", u"다각화 자본시장"},
    {u"Financial Exchanges & Data", u"金融交易所与数据", u"金融交易所與資料", u"金融取引所・データ",
     u"금융 거래소 및 데이터"},
    {u"Mortgage REITs", u"抵押房地产投资信托", u"抵押不動產投資信託", u"モーゲージREIT", u"모기지 리츠"},
    {u"Insurance Brokers", u"保险经纪商", u"保險經紀", u"保険仲介", u"보험 중개"},
    {u"Life & Health Insurance", u"人寿与健康保险", u"人壽與健康保險", u"生命保険・健康保険", u"생명 및 건강 보험"},
    {u"Multi-line Insurance", u"多元化保险", u"綜合保險", u"マルチライン保険", u"복합 보험"},
    {u"Property & Casualty Insurance", u"财产与意外伤害保险", u"產物與意外保險", u"損害保険", u"손해 보험"},
    {u"Reinsurance", u"再保险", u"再保險", u"再保険", u"재보험"},
    {u"IT Consulting & Other Services", u"信息技术咨询与其他服务", u"資訊科技顧問與其他服務",
     u"情報技術コンサルティング・その他のサービス", u"정보기술 컨설팅 및 기타 서비스"},
    {u"Internet Services & Infrastructure", u"互联网服务与基础设施", u"網際網路服務與基礎設施",
     u"インターネットサービス・インフラストラクチャー", u"인터넷 서비스 및 인프라"},
    {u"Application Software", u"应用软件", u"應用軟體", u"アプリケーション・ソフトウェア", u"애플리케이션 소프트웨어"},
    {u"Systems Software", u"系统软件", u"系統軟體", u"システム・ソフトウェア", u"시스템 소프트웨어"},
    {u"Communications Equipment", u"通信设备", u"通訊設備", u"通信機器", u"통신 장비"},
    {u"Technology Hardware, Storage & Peripherals", u"技术硬件、存储与外围设备", u"科技硬體、儲存與周邊設備",
     u"テクノロジー・ハードウェア・記憶装置・周辺機器", u"기술 하드웨어·저장장치·주변기기"},
    {u"Electronic Equipment & Instruments", u"电子设备与仪器", u"電子設備與儀器", u"電子装置・機器",
     u"전자 장비 및 기기"},
    {u"Electronic Components", u"电子元件", u"電子零組件", u"電子部品", u"전자 부품"},
    {u"Electronic Manufacturing Services", u"电子制造服务", u"電子製造服務", u"電子製造サービス",
     u"전자제품 제조 서비스"},
    {u"Technology Distributors", u"科技产品经销商", u"科技產品經銷商", u"テクノロジー・ディストリビューター",
     u"기술 제품 유통"},
    {u"Semiconductor Materials & Equipment", u"半导体材料与设备", u"半導體材料與設備", u"半導体材料・製造装置",
     u"반도체 소재 및 장비"},
    {u"Semiconductors", u"半导体", u"半導體", u"半導体", u"반도체"},
    {u"Alternative Carriers", u"替代运营商", u"替代電信業者", u"代替通信事業者", u"대체 통신사업자"},
    {u"Integrated Telecommunication Services", u"综合电信服务", u"綜合電信服務", u"総合電気通信サービス",
     u"종합 통신 서비스"},
    {u"Wireless Telecommunication Services", u"无线电信服务", u"無線電信服務", u"無線通信サービス",
     u"무선 통신 서비스"},
    {u"Advertising", u"广告", u"廣告", u"広告", u"광고"},
    {u"Broadcasting", u"广播", u"廣播電視", u"放送", u"방송"},
    {u"Cable & Satellite", u"有线与卫星电视", u"有線與衛星電視", u"ケーブル・衛星放送", u"케이블 및 위성방송"},
    {u"Publishing", u"出版", u"出版", u"出版", u"출판"},
    {u"Movies & Entertainment", u"电影与娱乐", u"電影與娛樂", u"映画・娯楽", u"영화 및 엔터테인먼트"},
    {u"Interactive Home Entertainment", u"互动家庭娱乐", u"互動家庭娛樂",
     u"インタラクティブ・ホームエンターテインメント", u"인터랙티브 홈 엔터테인먼트"},
    {u"Interactive Media & Services", u"互动媒体与服务", u"互動媒體與服務", u"インタラクティブ・メディア・サービス",
     u"인터랙티브 미디어 및 서비스"},
    {u"Electric Utilities", u"电力公用事业", u"電力公用事業", u"電力", u"전력 유틸리티"},
    {u"Gas Utilities", u"燃气公用事业", u"燃氣公用事業", u"ガス", u"가스 유틸리티"},
    {u"Multi-Utilities", u"综合公用事业", u"綜合公用事業", u"総合公益事業", u"복합 유틸리티"},
    {u"Water Utilities", u"水务公用事业", u"自來水公用事業", u"水道", u"수도 유틸리티"},
    {u"Independent Power Producers & Energy Traders", u"独立发电商与能源贸易商", u"獨立發電商與能源貿易商",
     u"独立系発電事業者・エネルギー販売業者", u"독립 발전사업자 및 에너지 트레이더"},
    {u"Renewable Electricity", u"可再生能源发电", u"再生能源發電", u"再生可能エネルギー発電", u"신재생 에너지 발전"},
    {u"Diversified REITs", u"综合房地产投资信托", u"綜合不動產投資信託", u"各種REIT", u"다각화 리츠"},
    {u"Industrial REITs", u"工业房地产投资信托", u"工業不動產投資信託", u"工業用REIT", u"산업용 리츠"},
    {u"Hotel & Resort REITs", u"酒店及度假村房地产投资信托", u"飯店及度假村不動產投資信託", u"ホテル・リゾートREIT",
     u"호텔 및 리조트 리츠"},
    {u"Office REITs", u"办公房地产投资信托", u"辦公不動產投資信託", u"オフィスREIT", u"오피스 리츠"},
    {u"Health Care REITs", u"医疗保健房地产投资信托", u"醫療保健不動產投資信託", u"ヘルスケアREIT", u"헬스케어 리츠"},
    {u"Multi-Family Residential REITs", u"多户住宅房地产投资信托", u"多戶住宅不動產投資信託", u"集合住宅REIT",
     u"다가구 주거용 리츠"},
    {u"Single-Family Residential REITs", u"独栋住宅房地产投资信托", u"獨棟住宅不動產投資信託", u"一戸建て住宅REIT",
     u"단독주택 리츠"},
    {u"Retail REITs", u"零售房地产投资信托", u"零售不動產投資信託", u"店舗用REIT", u"리테일 리츠"},
    {u"Other Specialized REITs", u"其他专业房地产投资信托", u"其他專業不動產投資信託", u"その他の専門REIT",
     u"기타 전문 리츠"},
    {u"Self-Storage REITs", u"自助仓储房地产投资信托", u"自助倉儲不動產投資信託", u"トランクルームREIT",
     u"셀프 스토리지 리츠"},
    {u"Telecom Tower REITs", u"通信塔房地产投资信托", u"通訊鐵塔不動產投資信託", u"通信塔REIT", u"통신탑 리츠"},
    {u"Timber REITs", u"林地房地产投资信托", u"林地不動產投資信託", u"林業REIT", u"임업 리츠"},
    {u"Data Center REITs", u"数据中心房地产投资信托", u"資料中心不動產投資信託", u"データセンターREIT",
     u"데이터센터 리츠"},
    {u"Diversified Real Estate Activities", u"多元化房地产活动", u"多元化房地產活動", u"各種不動産",
     u"다각화 부동산 활동"},
    {u"Real Estate Operating Companies", u"房地产经营公司", u"房地產經營公司", u"不動産運営会社", u"부동산 운영회사"},
    {u"Real Estate Development", u"房地产开发", u"房地產開發", u"不動産開発", u"부동산 개발"},
    {u"Real Estate Services", u"房地产服务", u"房地產服務", u"不動産サービス", u"부동산 서비스"},
});

using NameTable = QHash<QString, const GicsNameRow *>;

const NameTable &nameTable()
{
    static const NameTable table = [] {
        NameTable built;
        for (const GicsNameRow &row : sectorRows)
            built.insert(QString::fromUtf16(row.english), &row);
        for (const GicsNameRow &row : subIndustryRows)
            built.insert(QString::fromUtf16(row.english), &row);
        return built;
    }();
    return table;
}

const char16_t *translation(const GicsNameRow &row, QStringView languageCode)
{
    if (languageCode == u"zh-CN")
        return row.simplifiedChinese;
    if (languageCode == u"zh-TW")
        return row.traditionalChinese;
    if (languageCode == u"ja-JP")
        return row.japanese;
    if (languageCode == u"ko-KR")
        return row.korean;
    return nullptr;
}

icu::UnicodeString icuText(const QString &text)
{
    return icu::UnicodeString(false, reinterpret_cast<const UChar *>(text.utf16()), int32_t(text.size()));
}

} // namespace

QString gicsDisplayName(const QString &englishName, QStringView languageCode)
{
    const GicsNameRow *row = nameTable().value(englishName);
    const char16_t *shown = row ? translation(*row, languageCode) : nullptr;
    return shown ? QString::fromUtf16(shown) : englishName;
}

QStringList gicsDisplayNames(const QStringList &englishNames, QStringView languageCode)
{
    QStringList shown;
    shown.reserve(englishNames.size());
    for (const QString &name : englishNames)
        shown.append(gicsDisplayName(name, languageCode));
    return shown;
}

QStringList sortedByGicsDisplayName(QStringList englishNames, QStringView languageCode)
{
    QList<std::pair<QString, QString>> named; // shown name, English name
    named.reserve(englishNames.size());
    for (const QString &name : englishNames)
        named.append({gicsDisplayName(name, languageCode), name});

    // The language's tag ("zh-TW") is also the locale whose collation its readers expect.
    UErrorCode status = U_ZERO_ERROR;
    const icu::Locale locale = icu::Locale::forLanguageTag(languageCode.toLatin1().constData(), status);
    std::unique_ptr<icu::Collator> collator(U_SUCCESS(status) ? icu::Collator::createInstance(locale, status)
                                                              : nullptr);
    if (U_SUCCESS(status) && collator) {
        std::stable_sort(named.begin(), named.end(), [&collator](const auto &a, const auto &b) {
            UErrorCode compareStatus = U_ZERO_ERROR;
            return collator->compare(icuText(a.first), icuText(b.first), compareStatus) == UCOL_LESS;
        });
    } else {
        std::stable_sort(named.begin(), named.end(), [](const auto &a, const auto &b) { return a.first < b.first; });
    }
    englishNames.clear();
    for (const auto &[shown, english] : named)
        englishNames.append(english);
    return englishNames;
}

} // namespace quillfern
